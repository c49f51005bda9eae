package com.jpos.scanner.javapos;

import static com.jpos.scanner.api.ScannerProperty.PIDXScan_ScanData;
import static com.jpos.scanner.api.ScannerProperty.PIDXScan_ScanDataLabel;
import static com.jpos.scanner.api.ScannerProperty.PIDXScan_ScanDataType;
import static com.jpos.scanner.api.ScannerProperty.PIDX_DataCount;
import static com.jpos.scanner.api.ScannerProperty.PIDX_DataEventEnabled;
import static com.jpos.scanner.api.ScannerProperty.PIDX_ResultCode;

import com.jpos.scanner.api.ScanDataType;
import com.jpos.scanner.api.ScannerEvents;
import com.jpos.scanner.api.ScannerNatives;
import java.util.ArrayDeque;
import jpos.JposConst;
import jpos.events.DataEvent;
import jpos.events.ErrorEvent;
import jpos.events.StatusUpdateEvent;
import jpos.services.EventCallbacks;

/**
 * The event side of one open service: the thread that delivers DataEvents, ErrorEvents and
 * StatusUpdateEvents to the control, and the properties it owns (DataEventEnabled,
 * FreezeEvents, the scan properties, the power properties).
 *
 * The natives queue the scans; a scan is taken from them only when it can be delivered at
 * once (DataEventEnabled set, FreezeEvents clear), so DataCount is always the natives' count.
 * Taking a scan, setting the properties, clearing DataEventEnabled happen under this object's
 * monitor; the listener is called with no lock held, because it calls back into the service.
 *
 * With natives that offer {@link ScannerEvents}, a second thread only sleeps in
 * {@link ScannerEvents#waitEvent} and wakes the delivery thread; without them, the delivery
 * thread looks at DataCount every poll interval.
 */
final class EventDelivery {
    private static final int WAIT_SLICE_MS = 2000;  // bounds the waiter's stop if close never wakes it
    /** The status of our DataEvents: a scan needs none, so it is always 0. */
    private static final int SCANNER_DATA_STATUS = 0;

    private final ScannerNatives n;
    private final ScannerEvents ev;  // null: poll DataCount
    private final EventCallbacks cb;
    private final Object source;
    private final int pollMillis;
    private final String name;
    private final int capPowerReporting;

    // Guarded by this.
    private boolean dataEventEnabled, freezeEvents;
    private byte[] scanData = new byte[0], scanDataLabel = new byte[0];
    private int scanDataType;
    private final ArrayDeque<StatusUpdateEvent> statusQueue = new ArrayDeque<>();
    private final ArrayDeque<ErrorEvent> errorQueue = new ArrayDeque<>();
    private boolean inError;  // an input error waits for, or is in, its ErrorEvent
    private int powerNotify = JposConst.JPOS_PN_DISABLED;
    private int powerState = JposConst.JPOS_PS_UNKNOWN;
    private boolean reporting;  // claimed and enabled by the application
    private int connection = ScannerEvents.STATE_UNKNOWN;
    private boolean statusDirty;
    private boolean polling;  // no event wait (absent, or it failed)
    private boolean stopping;
    private Thread deliverer, waiter;

    EventDelivery(ScannerNatives natives, EventCallbacks callbacks, int pollMillis, String name) {
        this.n = natives;
        this.ev = natives instanceof ScannerEvents ? (ScannerEvents) natives : null;
        this.cb = callbacks;
        this.source = callbacks.getEventSource();
        this.pollMillis = pollMillis;
        this.name = name;
        this.polling = ev == null;
        // Power can be reported only where the channel's lost/back status reaches us.
        this.connection = ev == null ? ScannerEvents.STATE_UNKNOWN : ev.connectionState();
        this.capPowerReporting = connection == ScannerEvents.STATE_UNKNOWN
                ? JposConst.JPOS_PR_NONE : JposConst.JPOS_PR_STANDARD;
    }

    /** The natives' failure text, or "" when they give none. */
    String reason() {
        return ev == null ? "" : ev.lastReason();
    }

    synchronized void start() {
        deliverer = new Thread(this::deliverLoop, "kolvex-javapos-events " + name);
        deliverer.setDaemon(true);
        deliverer.start();
        if (ev != null) {
            waiter = new Thread(this::waitLoop, "kolvex-javapos-wait " + name);
            waiter.setDaemon(true);
            waiter.start();
        }
    }

    /**
     * Ends delivery. Returns once the delivery thread has ended, so no listener runs after
     * this (called from a listener, the delivery thread ends when that listener returns).
     * The waiter ends when the natives close; see {@link #joinWaiter()}.
     */
    void stop() {
        Thread t;
        synchronized (this) {
            stopping = true;
            statusQueue.clear();
            errorQueue.clear();
            notifyAll();
            t = deliverer;
        }
        join(t);
    }

    /** After the natives closed: their close wakes the waiter at once. */
    void joinWaiter() {
        Thread t;
        synchronized (this) {
            t = waiter;
        }
        join(t);
    }

    private static void join(Thread t) {
        if (t == null || t == Thread.currentThread()) return;
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

    // ---- properties ----

    synchronized boolean dataEventEnabled() {
        return dataEventEnabled;
    }

    synchronized void setDataEventEnabled(boolean on) {
        dataEventEnabled = on;
        if (on) notifyAll();
    }

    synchronized boolean freezeEvents() {
        return freezeEvents;
    }

    synchronized void setFreezeEvents(boolean on) {
        freezeEvents = on;
        if (!on) notifyAll();
    }

    synchronized byte[] scanData() {
        return scanData.clone();
    }

    synchronized byte[] scanDataLabel() {
        return scanDataLabel.clone();
    }

    synchronized int scanDataType() {
        return scanDataType;
    }

    synchronized void clearInputProperties() {
        scanData = new byte[0];
        scanDataLabel = new byte[0];
        scanDataType = ScanDataType.SCAN_SDT_UNKNOWN;
    }

    /** With the natives' ClearInput: input errors go too. */
    synchronized void clearInput() {
        errorQueue.clear();
        inError = false;
    }

    synchronized boolean inError() {
        return inError;
    }

    int capPowerReporting() {
        return capPowerReporting;
    }

    synchronized int powerNotify() {
        return powerNotify;
    }

    synchronized void setPowerNotify(int value) {
        powerNotify = value;
        if (value != JposConst.JPOS_PN_ENABLED) powerState = JposConst.JPOS_PS_UNKNOWN;
    }

    synchronized int powerState() {
        return powerState;
    }

    synchronized int connectionState() {
        if (ev != null) connection = ev.connectionState();
        return connection;
    }

    /**
     * The application enabled (true) or disabled, released or closed (false) the device.
     * Enabled with PowerNotify on, the current power state is reported at once when known.
     */
    synchronized void setReporting(boolean enabled) {
        reporting = enabled;
        powerState = JposConst.JPOS_PS_UNKNOWN;
        if (enabled) {
            refreshStatus();
            notifyAll();
        }
    }

    // Under this: reads the connection and queues a StatusUpdateEvent when the power changed.
    private void refreshStatus() {
        if (ev == null) return;
        connection = ev.connectionState();
        if (capPowerReporting == JposConst.JPOS_PR_NONE || powerNotify != JposConst.JPOS_PN_ENABLED
                || !reporting) {
            return;
        }
        int ps = connection == ScannerEvents.STATE_ONLINE ? JposConst.JPOS_PS_ONLINE
                : connection == ScannerEvents.STATE_OFFLINE ? JposConst.JPOS_PS_OFF_OFFLINE
                : JposConst.JPOS_PS_UNKNOWN;
        if (ps == JposConst.JPOS_PS_UNKNOWN || ps == powerState) return;
        powerState = ps;
        // JPOS_SUE_POWER_ONLINE and _OFF_OFFLINE have the PowerState numbers.
        statusQueue.add(new StatusUpdateEvent(source, ps));
    }

    // ---- the delivery thread ----

    /** One thing to hand to the control, prepared under the lock and fired without it. */
    private interface Delivery {
        void fire();
    }

    private void deliverLoop() {
        while (true) {
            Delivery d;
            synchronized (this) {
                if (stopping) return;
                d = next();
                if (d == null) {
                    waitForWork();
                    continue;
                }
            }
            try {
                d.fire();
            } catch (RuntimeException listenerFailed) {
                // A listener's exception must not end delivery; the control reports its own.
            }
        }
    }

    private void waitForWork() {
        try {
            if (polling) {
                wait(pollMillis);
            } else {
                wait();
            }
        } catch (InterruptedException e) {
            stopping = true;
        }
    }

    // Under this: the next event that may be delivered now, or null.
    private Delivery next() {
        if (statusDirty) {
            statusDirty = false;
            refreshStatus();
        }
        if (freezeEvents) return null;
        final StatusUpdateEvent s = statusQueue.poll();
        if (s != null) return () -> cb.fireStatusUpdateEvent(s);
        if (!dataEventEnabled) return null;
        final ErrorEvent e = errorQueue.poll();
        if (e != null) return () -> fireError(e);
        if (inError) return null;
        return takeScan();
    }

    // Under this: takes one scan from the natives into the properties, or queues an input error.
    private Delivery takeScan() {
        int before = n.getNumber(PIDX_DataCount);
        if (before <= 0) return null;
        n.setNumber(PIDX_DataEventEnabled, 1);
        int rc = n.getNumber(PIDX_ResultCode);
        int after = n.getNumber(PIDX_DataCount);
        if (rc != Results.SUCCESS) {
            inputError(rc, after);
            return this::nothing;
        }
        // Handing a scan over resets the natives' DataEventEnabled (we open them without
        // keep-data-events). DataCount cannot tell: the receive path may queue a scan meanwhile.
        if (n.getNumber(PIDX_DataEventEnabled) != 0) {
            // A ClearInput or release on another thread may have emptied the queue meanwhile.
            if (after == 0) return null;
            inputError(JposConst.JPOS_E_FAILURE, after);
            return this::nothing;
        }
        byte[] data = n.getString(PIDXScan_ScanData);
        byte[] label = n.getString(PIDXScan_ScanDataLabel);
        scanData = data == null ? new byte[0] : data;
        scanDataLabel = label == null ? new byte[0] : label;
        scanDataType = n.getNumber(PIDXScan_ScanDataType);
        dataEventEnabled = false;
        final DataEvent d = new DataEvent(source, SCANNER_DATA_STATUS);
        return () -> cb.fireDataEvent(d);
    }

    private void nothing() {}

    // Under this: the natives failed to hand over a queued scan.
    private void inputError(int rc, int stillQueued) {
        inError = true;
        boolean dataLeft = stillQueued > 0;
        int code = Results.isJposError(rc) ? rc : JposConst.JPOS_E_FAILURE;
        int ext = Results.isJposError(rc) ? 0 : rc;
        errorQueue.add(new ErrorEvent(source, code, ext,
                dataLeft ? JposConst.JPOS_EL_INPUT_DATA : JposConst.JPOS_EL_INPUT,
                dataLeft ? JposConst.JPOS_ER_CONTINUEINPUT : JposConst.JPOS_ER_CLEAR));
    }

    private void fireError(ErrorEvent e) {
        cb.fireErrorEvent(e);
        int response = e.getErrorResponse();
        if (response == JposConst.JPOS_ER_CLEAR) n.clearInput();
        synchronized (this) {
            // Retry and continue-input both go on taking scans; clear has emptied the queue.
            inError = false;
        }
    }

    // ---- the waiter thread (natives with an event wait) ----

    private void waitLoop() {
        while (true) {
            synchronized (this) {
                if (stopping) return;
            }
            int m;
            try {
                m = ev.waitEvent(WAIT_SLICE_MS);
            } catch (RuntimeException | LinkageError broken) {
                // Natives without a working wait: look at DataCount instead.
                synchronized (this) {
                    polling = true;
                    notifyAll();
                }
                return;
            }
            if ((m & ScannerEvents.EVENT_CLOSED) != 0) {
                // Our close ends the wait; a close from elsewhere leaves us looking at DataCount.
                synchronized (this) {
                    polling = true;
                    notifyAll();
                }
                return;
            }
            if (m == ScannerEvents.EVENT_NONE) continue;
            synchronized (this) {
                if ((m & ScannerEvents.EVENT_STATUS) != 0) statusDirty = true;
                notifyAll();
            }
        }
    }
}
