package com.jpos.scanner.javapos.tests;

import com.jpos.scanner.api.ScannerEvents;

/**
 * The fake natives with the event wait: a scan, a connection change and close each set a bit
 * that the next (or the current) waitEvent returns; bits are kept until a wait takes them.
 */
public class FakeEventNatives extends FakeNatives implements ScannerEvents {
    private final Object lock = new Object();
    private int bits;          // guarded by lock
    private int state = STATE_ONLINE;  // guarded by lock
    private String reason = "";        // guarded by lock
    private int waits;                 // guarded by lock
    private Thread waiter;             // guarded by lock

    public FakeEventNatives() {}

    private void post(int bit) {
        synchronized (lock) {
            bits |= bit;
            lock.notifyAll();
        }
    }

    @Override
    void scanQueued() {
        post(EVENT_DATA);
    }

    @Override
    void closed() {
        post(EVENT_CLOSED);
    }

    void setConnection(int s) {
        synchronized (lock) {
            state = s;
        }
        post(EVENT_STATUS);
    }

    void setReason(String r) {
        synchronized (lock) {
            reason = r;
        }
    }

    int waits() {
        synchronized (lock) {
            return waits;
        }
    }

    Thread waiter() {
        synchronized (lock) {
            return waiter;
        }
    }

    @Override
    public int waitEvent(int timeoutMs) {
        long end = System.nanoTime() + timeoutMs * 1_000_000L;
        synchronized (lock) {
            waits++;
            waiter = Thread.currentThread();
            while (bits == 0) {
                long left = (end - System.nanoTime()) / 1_000_000L;
                if (left <= 0) return EVENT_NONE;
                try {
                    lock.wait(left);
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                    return EVENT_NONE;
                }
            }
            int b = bits;
            bits = 0;
            return b;
        }
    }

    @Override
    public int connectionState() {
        synchronized (lock) {
            return state;
        }
    }

    @Override
    public String lastReason() {
        synchronized (lock) {
            return reason;
        }
    }
}
