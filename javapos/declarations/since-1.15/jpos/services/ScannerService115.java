package jpos.services;

/** Compile-only declaration. */
public interface ScannerService115 extends ScannerService114 {
}
