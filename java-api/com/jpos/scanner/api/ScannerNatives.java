package com.jpos.scanner.api;

import com.jpos.scanner.Kolvex;

/**
 * The native methods a session uses. {@link #kolvex()} is the real service behind
 * {@code com.jpos.scanner.Kolvex}; a test may hand a session its own implementation.
 */
public interface ScannerNatives {
    int open(int devType, int commuType, int comPort, int keepDataEvents);

    int close();

    int claimDevice(int timeout);

    int releaseDevice();

    int clearInput();

    int getNumber(int index);

    void setNumber(int index, int value);

    byte[] getString(int index);

    /** The native Scanner service of this process (libKolvex / Kolvex.dll). */
    static ScannerNatives kolvex() {
        return new KolvexNatives(new Kolvex());
    }
}

final class KolvexNatives implements ScannerNatives {
    private final Kolvex k;

    KolvexNatives(Kolvex k) {
        this.k = k;
    }

    @Override public int open(int devType, int commuType, int comPort, int keep) {
        return k.Open(devType, commuType, comPort, keep);
    }
    @Override public int close() { return k.Close(); }
    @Override public int claimDevice(int timeout) { return k.ClaimDevice(timeout); }
    @Override public int releaseDevice() { return k.ReleaseDevice(); }
    @Override public int clearInput() { return k.ClearInput(); }
    @Override public int getNumber(int index) { return k.GetPropertyNumber(index); }
    @Override public void setNumber(int index, int value) { k.SetPropertyNumber(index, value); }
    @Override public byte[] getString(int index) { return k.GetPropertyString(index); }
}
