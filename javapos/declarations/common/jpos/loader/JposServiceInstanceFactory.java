package jpos.loader;

import jpos.JposException;
import jpos.config.JposEntry;

/** Compile-only declaration. */
public interface JposServiceInstanceFactory {
    JposServiceInstance createInstance(String logicalName, JposEntry entry) throws JposException;
}
