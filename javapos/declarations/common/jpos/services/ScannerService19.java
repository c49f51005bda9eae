package jpos.services;

import jpos.JposException;

/** Compile-only declaration. */
public interface ScannerService19 extends ScannerService18 {
    boolean getCapCompareFirmwareVersion() throws JposException;

    boolean getCapUpdateFirmware() throws JposException;

    void compareFirmwareVersion(String firmwareFileName, int[] result) throws JposException;

    void updateFirmware(String firmwareFileName) throws JposException;
}
