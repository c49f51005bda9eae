package com.jpos.scanner.api;

import static com.jpos.scanner.api.ScannerProperty.*;

import java.util.concurrent.TimeUnit;

/**
 * An opened, claimed and enabled scanner, closed by {@link #close()} (try-with-resources).
 *
 * <pre>
 * try (ScannerSession s = ScannerSession.builder().deviceType(DEV_TYPE3).serial(1).open()) {
 *     s.listen(scan -&gt; System.out.println(scan));
 *     ...
 * }
 * </pre>
 *
 * The service holds one scanner per process, so one session is open at a time; opening a
 * second gives a {@link ScannerException} with OPOS_E_ILLEGAL. Every failure of the service
 * is thrown as a ScannerException carrying its result code and, where the service gives one,
 * its reason.
 *
 * With natives that offer {@link ScannerEvents} (libKolvex of this version), the listener
 * thread sleeps in the native event wait and gets each scan as soon as it is queued, and
 * connection lost/back reaches {@link ScanListener#onStatus}; with older natives it looks at
 * DataCount every poll interval.
 */
public final class ScannerSession implements AutoCloseable {
    // Device and communication types mirror service/ScannerTypes.h (same names and values).

    /** Device types of Open: how the service frames received bytes and which commands it sends. */
    public static final int DEV_TYPE1 = 1, DEV_TYPE2 = 2, DEV_TYPE3 = 3, DEV_TYPE4 = 4;

    /**
     * Communication types of Open. COMM_COM1 opens (as serial port 1) but has no transport, so
     * ClaimDevice refuses it with OPOS_E_NOEXIST.
     */
    public static final int COMM_COM1 = 0, COMM_SERIAL = 1, COMM_UDP = 2, COMM_HID = 3;

    /** Settings of a session; {@link #open()} makes one. */
    public static final class Builder {
        private int devType = DEV_TYPE3;
        private int commuType = COMM_HID;
        private int comPort = 0;
        private boolean keepDataEvents = false;
        private boolean decodeData = true;
        private boolean autoDisable = false;
        private long pollMillis = 50;
        private ScannerNatives natives;

        private Builder() {}

        /** Device type DEV_TYPE1 to DEV_TYPE4 (DEV_TYPE3 by default). */
        public Builder deviceType(int type) {
            devType = type;
            return this;
        }

        /** A serial scanner on COM port n ("COM" transport). */
        public Builder serial(int port) {
            commuType = COMM_SERIAL;
            comPort = port;
            return this;
        }

        public Builder udp() {
            commuType = COMM_UDP;
            return this;
        }

        /** A USB HID-POS scanner (the default). */
        public Builder hid() {
            commuType = COMM_HID;
            return this;
        }

        /** Any communication type and port, as Open takes them. */
        public Builder communication(int type, int port) {
            commuType = type;
            comPort = port;
            return this;
        }

        /** Keep DataEventEnabled set after each scan (off by default). */
        public Builder keepDataEvents(boolean keep) {
            keepDataEvents = keep;
            return this;
        }

        /** Ask for symbology decoding and ScanDataLabel (on by default). */
        public Builder decodeData(boolean decode) {
            decodeData = decode;
            return this;
        }

        /** Let the device disable itself after each scan (off by default). */
        public Builder autoDisable(boolean disable) {
            autoDisable = disable;
            return this;
        }

        /**
         * How long the listener sleeps between two looks at DataCount (50 ms by default): with
         * natives that have no event wait, or while FreezeEvents holds waiting scans back.
         */
        public Builder pollInterval(long amount, TimeUnit unit) {
            long ms = unit.toMillis(amount);
            if (ms < 1) throw new IllegalArgumentException("poll interval below 1 ms");
            pollMillis = ms;
            return this;
        }

        /** The native service to drive; the process's libKolvex when not given. */
        public Builder natives(ScannerNatives n) {
            natives = n;
            return this;
        }

        /** Opens, claims and enables the scanner. On failure nothing stays open. */
        public ScannerSession open() throws ScannerException {
            ScannerNatives n = natives != null ? natives : ScannerNatives.kolvex();
            return new ScannerSession(n, this);
        }
    }

    public static Builder builder() {
        return new Builder();
    }

    private final ScannerNatives n;
    private final ScannerEvents ev;  // null: the natives have no event wait
    private final long pollMillis;
    private final boolean keepDataEvents;
    private final Object pullLock = new Object();  // one pull at a time (listener or caller)
    private final Object wakeLock = new Object();  // the listener's sleep and its state below
    private boolean stopping;                      // guarded by wakeLock
    private Thread listener;                       // guarded by wakeLock
    private boolean inWait;        // the listener sleeps in the native wait; guarded by wakeLock
    private boolean listenerDone;  // the listener thread has left its loop; guarded by wakeLock
    private boolean closed;                        // guarded by this

    private ScannerSession(ScannerNatives natives, Builder b) throws ScannerException {
        n = natives;
        ev = natives instanceof ScannerEvents ? (ScannerEvents) natives : null;
        pollMillis = b.pollMillis;
        keepDataEvents = b.keepDataEvents;
        int rc = n.open(b.devType, b.commuType, b.comPort, b.keepDataEvents ? 1 : 0);
        if (rc != ResultCode.OPOS_SUCCESS) throw failure("Open", rc);
        // Open answers the service's own result (OPOS_E_ILLEGAL when already opened,
        // OPOS_E_NOEXIST for serial port 0). A natives implementation that answers 0 without
        // opening still shows as State closed, with its reason in ResultCode.
        if (n.getNumber(PIDX_State) == OPOS_S_CLOSED) {
            throw failure("Open", n.getNumber(PIDX_ResultCode));
        }
        try {
            rc = n.claimDevice(0);
            if (rc != ResultCode.OPOS_SUCCESS) throw failure("ClaimDevice", rc);
            setChecked(PIDXScan_DecodeData, b.decodeData ? 1 : 0);
            setChecked(PIDX_AutoDisable, b.autoDisable ? 1 : 0);
            setChecked(PIDX_DeviceEnabled, 1);
        } catch (ScannerException e) {
            n.close();  // releases a claimed device too
            throw e;
        }
    }

    // A failure of a native call, with the service's reason when it gives one.
    private ScannerException failure(String operation, int rc) {
        return new ScannerException(operation, rc, lastReason());
    }

    /** Why the last operation of the service failed, or "" (also with natives that do not say). */
    public String lastReason() {
        if (ev == null) return "";
        try {
            String r = ev.lastReason();
            return r == null ? "" : r;
        } catch (LinkageError broken) {
            return "";
        }
    }

    /**
     * The scanner's connection: {@link ScannerEvents#STATE_ONLINE} or
     * {@link ScannerEvents#STATE_OFFLINE}, or {@link ScannerEvents#STATE_UNKNOWN} when the
     * natives or the framework report no status.
     */
    public int connectionState() {
        if (ev == null) return ScannerEvents.STATE_UNKNOWN;
        try {
            return ev.connectionState();
        } catch (LinkageError broken) {
            return ScannerEvents.STATE_UNKNOWN;
        }
    }

    private void setChecked(int index, int value) throws ScannerException {
        n.setNumber(index, value);
        int rc = n.getNumber(PIDX_ResultCode);
        if (rc != ResultCode.OPOS_SUCCESS) {
            throw new ScannerException("SetPropertyNumber(" + ScannerProperty.name(index) + ")", rc);
        }
    }

    private synchronized void ensureOpen() throws ScannerException {
        if (closed) throw new ScannerException("session", ResultCode.OPOS_E_CLOSED);
    }

    /** Sets a numeric property; throws when ResultCode then reads other than OPOS_SUCCESS. */
    public void setNumber(int index, int value) throws ScannerException {
        ensureOpen();
        setChecked(index, value);
    }

    public int getNumber(int index) throws ScannerException {
        ensureOpen();
        return n.getNumber(index);
    }

    /** A byte-string property's bytes; never null. */
    public byte[] getBytes(int index) throws ScannerException {
        ensureOpen();
        byte[] b = n.getString(index);
        return b == null ? new byte[0] : b;
    }

    /** Scans waiting in the service (DataCount). */
    public int dataCount() throws ScannerException {
        return getNumber(PIDX_DataCount);
    }

    /** Drops every waiting scan. */
    public void clearInput() throws ScannerException {
        ensureOpen();
        int rc = n.clearInput();
        if (rc != ResultCode.OPOS_SUCCESS) throw failure("ClearInput", rc);
    }

    /**
     * Takes the next waiting scan, or returns null when none is waiting (or FreezeEvents holds
     * it back). Does not wait.
     */
    public Scan pull() throws ScannerException {
        ensureOpen();
        return pullOnce();
    }

    private Scan pullOnce() throws ScannerException {
        return pullOnce(null);
    }

    // held[0] is set when scans wait but none was delivered (FreezeEvents holds them back).
    private Scan pullOnce(boolean[] held) throws ScannerException {
        synchronized (pullLock) {
            int before = n.getNumber(PIDX_DataCount);
            if (before <= 0) return null;
            if (held != null) held[0] = true;
            n.setNumber(PIDX_DataEventEnabled, 1);
            int rc = n.getNumber(PIDX_ResultCode);
            if (rc != ResultCode.OPOS_SUCCESS) {
                throw new ScannerException("SetPropertyNumber(PIDX_DataEventEnabled)", rc);
            }
            // A delivery clears DataEventEnabled (unless the session keeps it set) and lowers
            // DataCount; without one the properties still hold the last scan. DataCount alone
            // cannot tell while scans keep arriving: a new one hides the delivery.
            boolean delivered = keepDataEvents ? n.getNumber(PIDX_DataCount) < before
                    : n.getNumber(PIDX_DataEventEnabled) == 0;
            if (!delivered) return null;
            if (held != null) held[0] = false;
            return new Scan(n.getString(PIDXScan_ScanDataLabel), n.getString(PIDXScan_ScanData),
                    n.getNumber(PIDXScan_ScanDataType));
        }
    }

    /**
     * Starts the listener thread: it pulls each waiting scan and hands it to the listener. With
     * the native event wait it sleeps there until a scan is queued, the connection changes or
     * the session closes; without it, it looks at DataCount and sleeps for the poll interval
     * whenever nothing is waiting. One listener per session.
     */
    public void listen(ScanListener l) throws ScannerException {
        if (l == null) throw new IllegalArgumentException("listener is null");
        ensureOpen();
        synchronized (wakeLock) {
            if (listener != null) throw new IllegalStateException("a listener is already running");
            listener = new Thread(() -> listenLoop(l), "scanner-listener");
            listener.setDaemon(true);
            listener.start();
        }
    }

    private void listenLoop(ScanListener l) {
        try {
            if (ev == null || !waitLoop(l)) pollLoop(l);
        } finally {
            synchronized (wakeLock) {
                listenerDone = true;
                wakeLock.notifyAll();
            }
        }
    }

    private boolean stopping() {
        synchronized (wakeLock) {
            return stopping;
        }
    }

    // Hands every deliverable waiting scan to the listener. True when scans are left waiting
    // that could not be delivered (FreezeEvents, a failed pull), false when none is left.
    private boolean drain(ScanListener l) {
        boolean[] held = {false};
        while (!stopping()) {
            held[0] = false;
            Scan s = null;
            try {
                s = pullOnce(held);
            } catch (ScannerException e) {
                deliverError(l, e);
                return true;  // tried again after the poll interval, as when polling
            }
            if (s == null) return held[0];
            try {
                l.onScan(s);
            } catch (RuntimeException e) {
                deliverError(l, e);
            }
        }
        return false;
    }

    // The listener over the native event wait. False when the wait turned out not to work
    // (the caller falls back to polling); true when the session stops or the natives closed.
    private boolean waitLoop(ScanListener l) {
        int state = connectionState();
        while (true) {
            boolean held = drain(l);
            int m;
            synchronized (wakeLock) {
                if (stopping) return true;
                inWait = true;
            }
            try {
                // Scans held back by FreezeEvents are looked at again after the poll interval;
                // otherwise only an event wakes us.
                m = ev.waitEvent(held ? (int) Math.min(pollMillis, Integer.MAX_VALUE) : -1);
            } catch (RuntimeException | LinkageError broken) {
                return false;
            } finally {
                synchronized (wakeLock) {
                    inWait = false;
                    wakeLock.notifyAll();
                }
            }
            if (stopping()) return true;
            if ((m & ScannerEvents.EVENT_CLOSED) != 0) return true;
            if ((m & ScannerEvents.EVENT_STATUS) != 0) {
                int now = connectionState();
                if (now != state) {
                    state = now;
                    try {
                        l.onStatus(now);
                    } catch (RuntimeException e) {
                        deliverError(l, e);
                    }
                }
            }
        }
    }

    private void pollLoop(ScanListener l) {
        while (true) {
            drain(l);
            synchronized (wakeLock) {
                if (stopping) return;
                try {
                    wakeLock.wait(pollMillis);
                } catch (InterruptedException e) {
                    return;
                }
            }
        }
    }

    private static void deliverError(ScanListener l, Exception e) {
        try {
            l.onError(e);
        } catch (RuntimeException ignored) {
            // A failing error handler must not end the listener thread.
        }
    }

    /** Whether the listener thread is running. */
    public boolean isListening() {
        synchronized (wakeLock) {
            return listener != null && listener.isAlive();
        }
    }

    // Stops deliveries: returns once the listener thread has ended or sleeps in the native
    // wait, from which it returns without delivering anything (the natives' close wakes it).
    private Thread stopListener() {
        Thread t;
        boolean interrupted = false;
        synchronized (wakeLock) {
            stopping = true;
            wakeLock.notifyAll();
            t = listener;
            if (t == null || t == Thread.currentThread()) return null;
            while (!listenerDone && !inWait) {
                try {
                    wakeLock.wait();
                } catch (InterruptedException e) {
                    interrupted = true;
                }
            }
        }
        if (interrupted) Thread.currentThread().interrupt();
        return t;
    }

    private static void join(Thread t) {
        if (t == null) return;
        boolean interrupted = false;
        while (t.isAlive()) {
            try {
                t.join();
            } catch (InterruptedException e) {
                interrupted = true;
            }
        }
        if (interrupted) Thread.currentThread().interrupt();
    }

    /**
     * Stops the listener, disables, releases and closes the scanner. Every step runs even when
     * one fails; the first failure is thrown afterwards. A second close does nothing.
     */
    @Override
    public void close() throws ScannerException {
        synchronized (this) {
            if (closed) return;
            closed = true;
        }
        Thread t = stopListener();
        ScannerException first = null;
        synchronized (pullLock) {
            n.setNumber(PIDX_DeviceEnabled, 0);
            int rc = n.getNumber(PIDX_ResultCode);
            if (rc != ResultCode.OPOS_SUCCESS) {
                first = new ScannerException("SetPropertyNumber(PIDX_DeviceEnabled)", rc);
            }
            rc = n.releaseDevice();
            if (rc != ResultCode.OPOS_SUCCESS && first == null) first = failure("ReleaseDevice", rc);
            n.close();  // wakes a listener in the native wait
        }
        join(t);
        if (first != null) throw first;
    }
}
