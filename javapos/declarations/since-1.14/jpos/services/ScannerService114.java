package jpos.services;

/** Compile-only declaration. */
public interface ScannerService114 extends ScannerService113 {
}
