package com.jpos.scanner.api;

/** Receives the scans of a {@link ScannerSession}, on the session's listener thread. */
@FunctionalInterface
public interface ScanListener {
    void onScan(Scan scan);

    /** A pull failed, or {@link #onScan} threw. The listener thread carries on. */
    default void onError(Exception error) {}
}
