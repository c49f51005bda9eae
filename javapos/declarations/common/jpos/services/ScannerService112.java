package jpos.services;

/** Compile-only declaration. */
public interface ScannerService112 extends ScannerService111 {
}
