package com.jpos.scanner.api;

/** Receives the scans of a {@link ScannerSession}, on the session's listener thread. */
@FunctionalInterface
public interface ScanListener {
    void onScan(Scan scan);

    /** A pull failed, or {@link #onScan} threw. The listener thread carries on. */
    default void onError(Exception error) {}

    /**
     * The scanner's connection changed: {@link ScannerEvents#STATE_OFFLINE} when it was lost,
     * {@link ScannerEvents#STATE_ONLINE} when it is back. Only natives that report status
     * call it (see {@link ScannerSession#connectionState()}).
     */
    default void onStatus(int state) {}
}
