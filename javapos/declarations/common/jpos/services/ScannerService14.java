package jpos.services;

/** Compile-only declaration. */
public interface ScannerService14 extends ScannerService13 {
}
