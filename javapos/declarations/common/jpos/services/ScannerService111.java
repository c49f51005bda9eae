package jpos.services;

/** Compile-only declaration. */
public interface ScannerService111 extends ScannerService110 {
}
