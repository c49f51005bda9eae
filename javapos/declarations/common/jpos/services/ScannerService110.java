package jpos.services;

import jpos.JposException;

/** Compile-only declaration. */
public interface ScannerService110 extends ScannerService19 {
    void clearInputProperties() throws JposException;
}
