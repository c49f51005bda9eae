package jpos.services;

/** Compile-only declaration. */
public interface ScannerService15 extends ScannerService14 {
}
