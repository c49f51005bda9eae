package jpos.services;

/** Compile-only declaration. */
public interface ScannerService17 extends ScannerService16 {
}
