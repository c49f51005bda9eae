package jpos.services;

/** Compile-only declaration. */
public interface ScannerService116 extends ScannerService115 {
}
