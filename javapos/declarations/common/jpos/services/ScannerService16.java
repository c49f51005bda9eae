package jpos.services;

/** Compile-only declaration. */
public interface ScannerService16 extends ScannerService15 {
}
