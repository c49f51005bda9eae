package com.jpos.scanner;

/**
 * The native service's extension natives, beside the eleven of {@link Kolvex}: a wait for the
 * next event, the connection state and the last failure reason. A library older than these
 * lacks them: the first call then throws UnsatisfiedLinkError. Any thread may call; none of
 * them writes to the trace.
 */
public class KolvexEvents {
    /** Nothing happened before the time-out. */
    public static final int EVENT_NONE = 0;
    /** A scan was queued. */
    public static final int EVENT_DATA = 1;
    /** The connection state changed. */
    public static final int EVENT_STATUS = 2;
    /** The service was closed, or is not open. */
    public static final int EVENT_CLOSED = 4;

    /** The framework reports no connection state. */
    public static final int STATE_UNKNOWN = -1;
    public static final int STATE_OFFLINE = 0;
    public static final int STATE_ONLINE = 1;

    static {
        // The library is loaded the way Kolvex loads it.
        try {
            Class.forName(Kolvex.class.getName(), true, KolvexEvents.class.getClassLoader());
        } catch (ClassNotFoundException e) {
            throw new NoClassDefFoundError(e.getMessage());
        }
    }

    /**
     * Blocks up to timeoutMs (negative: without limit) until a scan is queued, the connection
     * state changes or the service closes; Close wakes it at once. Returns the EVENT_* bits of
     * everything that happened since the previous call, EVENT_NONE after the time-out, and
     * EVENT_CLOSED at once while the service is not open.
     */
    public native int waitEvent(int timeoutMs);

    /** STATE_ONLINE, STATE_OFFLINE, or STATE_UNKNOWN where the framework reports no status. */
    public native int connectionState();

    /** Why the last operation failed (the framework's words where it gives them), or "". */
    public native String lastReason();
}
