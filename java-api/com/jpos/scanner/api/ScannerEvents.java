package com.jpos.scanner.api;

/**
 * Optional capability of a {@link ScannerNatives}: event wait, connection state, failure
 * reason. A user of the natives checks {@code natives instanceof ScannerEvents} and falls back
 * to looking at DataCount when it is absent. Any thread may call; {@link #waitEvent} may run on
 * one thread while another calls the natives, and the natives' close wakes it at once.
 */
public interface ScannerEvents {
    /** Nothing happened before the time-out. */
    int EVENT_NONE = 0;
    /** A scan was queued. */
    int EVENT_DATA = 1;
    /** The connection state changed. */
    int EVENT_STATUS = 2;
    /** The service was closed (wakes waiters at once). */
    int EVENT_CLOSED = 4;

    int STATE_UNKNOWN = -1, STATE_OFFLINE = 0, STATE_ONLINE = 1;

    /** Blocks up to timeoutMs for the next event(s); returns a bit mask of EVENT_*. */
    int waitEvent(int timeoutMs);

    /** Current connection state; STATE_UNKNOWN when the framework offers no status. */
    int connectionState();

    /** Text of the last failure (native or framework reason), or "" when none. */
    String lastReason();
}
