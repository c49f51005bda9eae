package jpos.services;

import jpos.JposException;

/** Compile-only declaration. */
public interface ScannerService13 extends ScannerService12 {
    int getCapPowerReporting() throws JposException;

    int getPowerNotify() throws JposException;

    void setPowerNotify(int powerNotify) throws JposException;

    int getPowerState() throws JposException;
}
