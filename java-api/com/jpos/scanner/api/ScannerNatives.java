package com.jpos.scanner.api;

import com.jpos.scanner.Kolvex;
import com.jpos.scanner.KolvexEvents;

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

    /**
     * The native Scanner service of this process (libKolvex / Kolvex.dll). It is a
     * {@link ScannerEvents} too when the library has the extension natives.
     */
    static ScannerNatives kolvex() {
        Kolvex k = new Kolvex();
        KolvexEvents ev = KolvexNatives.events();
        return ev == null ? new KolvexNatives(k) : new KolvexEventNatives(k, ev);
    }
}

class KolvexNatives implements ScannerNatives {
    private final Kolvex k;

    KolvexNatives(Kolvex k) {
        this.k = k;
    }

    /** The extension natives, or null when the loaded library is older than them. */
    static KolvexEvents events() {
        return EventsProbe.EVENTS;
    }

    // Asked once per class loader: a library either has the natives or it does not.
    private static final class EventsProbe {
        static final KolvexEvents EVENTS = probe();

        private static KolvexEvents probe() {
            try {
                KolvexEvents ev = new KolvexEvents();
                ev.connectionState();
                return ev;
            } catch (UnsatisfiedLinkError older) {
                return null;
            }
        }
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

/** The natives of a library with the event wait, connection state and reason. */
final class KolvexEventNatives extends KolvexNatives implements ScannerEvents {
    private final KolvexEvents ev;

    KolvexEventNatives(Kolvex k, KolvexEvents ev) {
        super(k);
        this.ev = ev;
    }

    @Override public int waitEvent(int timeoutMs) { return ev.waitEvent(timeoutMs); }
    @Override public int connectionState() { return ev.connectionState(); }
    @Override public String lastReason() {
        String r = ev.lastReason();
        return r == null ? "" : r;
    }
}
