package com.jpos.scanner.javapos.tests;

import com.jpos.scanner.api.ScannerProperty;

/** Short property names for the fake natives' call record ("set DeviceEnabled 1"). */
final class ScannerPropertyName {
    private ScannerPropertyName() {}

    static String of(int index) {
        String n = ScannerProperty.name(index);
        return n.startsWith("PIDXScan_") ? n.substring(9) : n.startsWith("PIDX_") ? n.substring(5) : n;
    }
}
