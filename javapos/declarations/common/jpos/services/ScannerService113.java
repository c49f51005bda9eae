package jpos.services;

/** Compile-only declaration. */
public interface ScannerService113 extends ScannerService112 {
}
