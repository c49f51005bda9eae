package com.jpos.scanner.javapos;

/**
 * The JavaPOS levels this service comes in, newest first: the interface an application's
 * JavaPOS jar must have for each, and our class that implements it.
 */
enum ServiceLevel {
    V1_16("1.16", 1016000, "jpos.services.ScannerService116", "KolvexScannerService116"),
    V1_15("1.15", 1015000, "jpos.services.ScannerService115", "KolvexScannerService115"),
    V1_14("1.14", 1014000, "jpos.services.ScannerService114", "KolvexScannerService114"),
    V1_13("1.13", 1013000, "jpos.services.ScannerService113", "KolvexScannerService113");

    /** As written in jpos.xml, e.g. "1.15". */
    final String text;
    /** getDeviceServiceVersion(): major * 1000000 + minor * 1000 + build. */
    final int version;
    final String jposInterface;
    final String serviceClass;

    ServiceLevel(String text, int version, String jposInterface, String simpleName) {
        this.text = text;
        this.version = version;
        this.jposInterface = jposInterface;
        this.serviceClass = ServiceLevel.class.getPackage().getName() + "." + simpleName;
    }

    /** The level written as text ("1.14"), or null for any other text. */
    static ServiceLevel parse(String text) {
        for (ServiceLevel l : values()) {
            if (l.text.equals(text.trim())) return l;
        }
        return null;
    }

    static String known() {
        StringBuilder s = new StringBuilder();
        for (ServiceLevel l : values()) {
            if (s.length() > 0) s.append(", ");
            s.append(l.text);
        }
        return s.toString();
    }
}
