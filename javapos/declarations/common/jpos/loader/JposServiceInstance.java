package jpos.loader;

import jpos.JposException;

/** Compile-only declaration. */
public interface JposServiceInstance {
    void deleteInstance() throws JposException;
}
