package jpos.services;

import jpos.loader.JposServiceInstance;

/** Compile-only declaration, hierarchy of 1.13 and 1.14. */
public interface ScannerService15 extends ScannerService14, JposServiceInstance {
}
