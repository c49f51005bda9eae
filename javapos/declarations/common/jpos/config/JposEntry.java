package jpos.config;

import java.io.Serializable;

/** Compile-only declaration: the members this service uses (the real interface has more). */
@SuppressWarnings("rawtypes")
public interface JposEntry extends Serializable, Comparable {
    boolean hasPropertyWithName(String propName);

    Object getPropertyValue(String propName);

    String getLogicalName();
}
