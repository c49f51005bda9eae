package com.jpos.scanner.javapos.tests;

import java.util.LinkedHashMap;
import java.util.Map;
import jpos.config.JposEntry;

/** A jpos.xml entry as the config loader hands it to the factory: properties by name. */
@SuppressWarnings({"rawtypes", "serial"})
final class FakeEntry implements JposEntry {
    private final String logicalName;
    private final Map<String, Object> props = new LinkedHashMap<>();

    FakeEntry(String logicalName) {
        this.logicalName = logicalName;
        props.put("logicalName", logicalName);
        props.put("factoryClass", "com.jpos.scanner.javapos.KolvexServiceFactory");
        props.put("serviceClass", "com.jpos.scanner.javapos.KolvexScannerService");
    }

    FakeEntry with(String name, Object value) {
        if (value == null) props.remove(name);
        else props.put(name, value);
        return this;
    }

    @Override
    public boolean hasPropertyWithName(String name) {
        return props.containsKey(name);
    }

    @Override
    public Object getPropertyValue(String name) {
        return props.get(name);
    }

    @Override
    public String getLogicalName() {
        return logicalName;
    }

    @Override
    public int compareTo(Object o) {
        return logicalName.compareTo(((JposEntry) o).getLogicalName());
    }
}
