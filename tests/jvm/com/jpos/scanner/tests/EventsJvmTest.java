package com.jpos.scanner.tests;

import static com.jpos.scanner.api.ResultCode.*;
import static com.jpos.scanner.api.ScannerProperty.PIDX_DeviceEnabled;
import static com.jpos.scanner.api.ScannerSession.COMM_HID;
import static com.jpos.scanner.api.ScannerSession.DEV_TYPE3;

import com.jpos.scanner.Kolvex;
import com.jpos.scanner.KolvexEvents;
import com.jpos.scanner.api.Scan;
import com.jpos.scanner.api.ScanListener;
import com.jpos.scanner.api.ScannerEvents;
import com.jpos.scanner.api.ScannerException;
import com.jpos.scanner.api.ScannerNatives;
import com.jpos.scanner.api.ScannerSession;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * The extension natives (event wait, connection state, reason) and ScannerSession's listener
 * over them, in a real JVM against Kolvex linked to the framework test double. One scenario
 * per JVM (one service object per process); exit status 0 when every check held.
 * Usage: EventsJvmTest listen | close | status | reason | fallback
 */
public final class EventsJvmTest {
    private static int failures;
    private static final long WAIT_S = 20;  // generous bound for anything that waits

    private EventsJvmTest() {}

    static void check(String what, boolean ok) {
        if (!ok) {
            System.out.println("FAIL " + what);
            failures++;
        }
    }

    static void eq(String what, Object want, Object got) {
        boolean same = want == null ? got == null : want.equals(got);
        check(what + ": want " + want + ", got " + got, same);
    }

    static byte[] packet(String label) {
        byte[] l = label.getBytes(StandardCharsets.ISO_8859_1);
        byte[] out = new byte[8 + l.length];
        byte[] head = {0x04, (byte) 0xFF, (byte) (l.length >> 8), (byte) l.length, 0x02, 0, 0, 0};
        System.arraycopy(head, 0, out, 0, 8);
        System.arraycopy(l, 0, out, 8, l.length);
        return out;
    }

    /** The real natives, counting the calls that a polling listener would make. */
    static final class Counting implements ScannerNatives, ScannerEvents {
        final ScannerNatives n;
        final ScannerEvents ev;
        final AtomicInteger numberReads = new AtomicInteger();
        final AtomicInteger waits = new AtomicInteger();

        Counting(ScannerNatives n) {
            this.n = n;
            this.ev = (ScannerEvents) n;
        }

        @Override public int open(int d, int c, int p, int k) { return n.open(d, c, p, k); }
        @Override public int close() { return n.close(); }
        @Override public int claimDevice(int t) { return n.claimDevice(t); }
        @Override public int releaseDevice() { return n.releaseDevice(); }
        @Override public int clearInput() { return n.clearInput(); }
        @Override public int getNumber(int i) {
            numberReads.incrementAndGet();
            return n.getNumber(i);
        }
        @Override public void setNumber(int i, int v) { n.setNumber(i, v); }
        @Override public byte[] getString(int i) { return n.getString(i); }
        @Override public int waitEvent(int t) {
            waits.incrementAndGet();
            return ev.waitEvent(t);
        }
        @Override public int connectionState() { return ev.connectionState(); }
        @Override public String lastReason() { return ev.lastReason(); }
    }

    /** Collects what a session's listener gets. */
    static final class Collector implements ScanListener {
        final BlockingQueue<String> scans = new LinkedBlockingQueue<>();
        final BlockingQueue<Integer> states = new LinkedBlockingQueue<>();
        final BlockingQueue<Exception> errors = new LinkedBlockingQueue<>();
        volatile Thread thread;

        @Override public void onScan(Scan s) {
            thread = Thread.currentThread();
            scans.add(new String(s.getLabel(), StandardCharsets.ISO_8859_1));
        }
        @Override public void onError(Exception e) { errors.add(e); }
        @Override public void onStatus(int state) {
            thread = Thread.currentThread();
            states.add(state);
        }
    }

    static boolean inNativeWait(Thread t) {
        StackTraceElement[] st = t.getStackTrace();
        return t.getState() == Thread.State.RUNNABLE && st.length > 0 && st[0].isNativeMethod()
                && st[0].getClassName().equals(KolvexEvents.class.getName())
                && st[0].getMethodName().equals("waitEvent");
    }

    /** Waits (bounded) until the thread sleeps in the native wait. */
    static boolean reachesNativeWait(Thread t) throws InterruptedException {
        long end = System.nanoTime() + TimeUnit.SECONDS.toNanos(WAIT_S);
        while (System.nanoTime() < end) {
            if (inNativeWait(t)) return true;
            Thread.sleep(1);
        }
        return false;
    }

    static Thread listenerThread() {
        for (Thread t : Thread.getAllStackTraces().keySet())
            if (t.getName().equals("scanner-listener")) return t;
        return null;
    }

    static ScannerSession open(ScannerNatives n) throws ScannerException {
        Feed.answerFrames(0x06);
        return ScannerSession.builder().deviceType(DEV_TYPE3).hid().natives(n).open();
    }

    /** Every scan reaches the listener, which otherwise sleeps in the native wait. */
    static void listen() throws Exception {
        ScannerNatives real = ScannerNatives.kolvex();
        check("the natives offer the event wait", real instanceof ScannerEvents);
        Counting n = new Counting(real);
        Collector c = new Collector();
        try (ScannerSession s = open(n)) {
            eq("connection state once claimed", ScannerEvents.STATE_ONLINE, s.connectionState());
            s.listen(c);
            Thread t = listenerThread();
            check("listener thread found", t != null);
            if (t == null) return;
            check("idle listener sleeps in KolvexEvents.waitEvent", reachesNativeWait(t));
            // Asleep, it reads nothing: a polling listener would read DataCount every 50 ms.
            int reads = n.numberReads.get();
            int waits = n.waits.get();
            Thread.sleep(300);
            eq("property reads while idle", reads, n.numberReads.get());
            eq("waits entered while idle", waits, n.waits.get());
            check("still in the native wait", inNativeWait(t));

            final int total = 500;
            List<String> want = new ArrayList<>();
            for (int i = 0; i < total; i++) {
                String label = "LBL" + i;
                want.add(label);
                Feed.deliver(packet(label));
            }
            List<String> got = new ArrayList<>();
            for (int i = 0; i < total; i++) {
                String x = c.scans.poll(WAIT_S, TimeUnit.SECONDS);
                if (x == null) break;
                got.add(x);
            }
            eq("every scan, in order", want, got);
            check("scans delivered on the listener thread", c.thread == t);
            check("listener back in the native wait", reachesNativeWait(t));
            check("no listener errors: " + c.errors, c.errors.isEmpty());
        }
        check("close ended the listener", !c.thread.isAlive());
    }

    /** Close wakes a wait at once: the raw natives, then a session's listener. */
    static void close() throws Exception {
        Kolvex k = new Kolvex();
        KolvexEvents ev = new KolvexEvents();
        eq("wait while closed answers at once", KolvexEvents.EVENT_CLOSED, ev.waitEvent(-1));
        eq("Open", OPOS_SUCCESS, k.Open(DEV_TYPE3, COMM_HID, 0, 0));
        eq("wait times out with nothing", KolvexEvents.EVENT_NONE, ev.waitEvent(20));
        final AtomicInteger result = new AtomicInteger(-100);
        Thread w = new Thread(() -> result.set(ev.waitEvent(-1)), "raw-wait");
        w.start();
        check("raw waiter sleeps in the native wait", reachesNativeWait(w));
        k.Close();
        w.join(TimeUnit.SECONDS.toMillis(WAIT_S));
        check("Close woke the raw waiter", !w.isAlive());
        eq("the waiter learnt of the close", KolvexEvents.EVENT_CLOSED,
                result.get() & KolvexEvents.EVENT_CLOSED);

        // Events between two waits are kept: a scan before the first wait is reported.
        Feed.answerFrames(0x06);
        eq("Open again", OPOS_SUCCESS, k.Open(DEV_TYPE3, COMM_HID, 0, 0));
        eq("reopened: nothing pending", KolvexEvents.EVENT_NONE, ev.waitEvent(0));
        eq("ClaimDevice", OPOS_SUCCESS, k.ClaimDevice(0));
        ev.waitEvent(0);  // takes the claim's status change
        k.SetPropertyNumber(PIDX_DeviceEnabled, 1);  // a disabled scanner delivers no scans
        Feed.deliver(packet("KEPT"));
        eq("the scan queued before the wait", KolvexEvents.EVENT_DATA, ev.waitEvent(0));
        eq("taken once", KolvexEvents.EVENT_NONE, ev.waitEvent(0));
        k.ReleaseDevice();
        k.Close();

        Collector c = new Collector();
        ScannerSession s = open(ScannerNatives.kolvex());
        s.listen(c);
        Thread t = listenerThread();
        check("listener sleeps in the native wait", t != null && reachesNativeWait(t));
        Thread closer = new Thread(() -> {
            try {
                s.close();
            } catch (ScannerException e) {
                c.errors.add(e);
            }
        }, "closer");
        closer.start();
        closer.join(TimeUnit.SECONDS.toMillis(WAIT_S));
        check("session close returned", !closer.isAlive());
        check("listener ended", t != null && !t.isAlive());
        check("no errors: " + c.errors, c.errors.isEmpty());
    }

    /** Lost and back from the framework reach onStatus and the connection state. */
    static void status() throws Exception {
        Kolvex k = new Kolvex();
        KolvexEvents ev = new KolvexEvents();
        eq("Open", OPOS_SUCCESS, k.Open(DEV_TYPE3, COMM_HID, 0, 0));
        eq("opened, not claimed: offline", KolvexEvents.STATE_OFFLINE, ev.connectionState());
        k.Close();

        Collector c = new Collector();
        try (ScannerSession s = open(ScannerNatives.kolvex())) {
            eq("claimed: online", ScannerEvents.STATE_ONLINE, s.connectionState());
            s.listen(c);
            Thread t = listenerThread();
            check("listener sleeps in the native wait", t != null && reachesNativeWait(t));
            Feed.status(0);
            eq("lost reaches onStatus", ScannerEvents.STATE_OFFLINE, c.states.poll(WAIT_S, TimeUnit.SECONDS));
            eq("state after lost", ScannerEvents.STATE_OFFLINE, s.connectionState());
            eq("reason after lost", "device lost", s.lastReason());
            Feed.status(1);
            eq("back reaches onStatus", ScannerEvents.STATE_ONLINE, c.states.poll(WAIT_S, TimeUnit.SECONDS));
            eq("state after back", ScannerEvents.STATE_ONLINE, s.connectionState());
            Feed.deliver(packet("AFTER"));
            eq("scans flow after back", "AFTER", c.scans.poll(WAIT_S, TimeUnit.SECONDS));
            check("status on the listener thread", c.thread == t);
            check("nothing more: " + c.states, c.states.isEmpty());
        }
        eq("closed: offline", KolvexEvents.STATE_OFFLINE, ev.connectionState());
    }

    /** The framework's reason (or the service's own words) in ScannerException. */
    static void reason() throws Exception {
        Object[][] cases = {
            {"/dev/ttyS41: No such file or directory",
             "ClaimDevice failed: OPOS_E_ILLEGAL (106): /dev/ttyS41: No such file or directory"},
            // UTF-8 from the OS arrives whole.
            {"/dev/ttyS41: Fichier ou dossier inexistant \u00e9\u20ac",
             "ClaimDevice failed: OPOS_E_ILLEGAL (106): /dev/ttyS41: Fichier ou dossier inexistant \u00e9\u20ac"},
            // A framework without a reason: the service's own words.
            {"", "ClaimDevice failed: OPOS_E_ILLEGAL (106): the framework could not open HID"},
        };
        for (Object[] row : cases) {
            Feed.failOpen((String) row[0]);
            try {
                open(ScannerNatives.kolvex()).close();
                check("open succeeded despite the failing framework", false);
            } catch (ScannerException e) {
                eq("result code", OPOS_E_ILLEGAL, e.getResultCode());
                eq("message", row[1], e.getMessage());
                String reason = ((String) row[0]).isEmpty()
                        ? "ClaimDevice failed: the framework could not open HID" : (String) row[0];
                eq("reason field", reason, e.getReason());
            }
        }
        Feed.failOpen(null);

        Kolvex k = new Kolvex();
        KolvexEvents ev = new KolvexEvents();
        eq("ClaimDevice while closed", OPOS_E_CLOSED, k.ClaimDevice(0));
        eq("its reason", "ClaimDevice failed: not opened", ev.lastReason());
        eq("Open", OPOS_SUCCESS, k.Open(DEV_TYPE3, COMM_HID, 0, 0));
        eq("a success clears the reason", "", ev.lastReason());
        eq("Release before a claim", OPOS_E_NOTCLAIMED, k.ReleaseDevice());
        eq("its reason", "ReleaseDevice failed: not claimed", ev.lastReason());
        Feed.answerFrames(0);  // the claim command goes unanswered
        eq("ClaimDevice without an answer", OPOS_E_TIMEOUT, k.ClaimDevice(0));
        eq("its reason", "ClaimDevice failed: the scanner did not answer the claim command", ev.lastReason());
        k.Close();
    }

    /** A library without the extension natives: the session polls DataCount as before. */
    static void fallback() throws Exception {
        ScannerNatives n = ScannerNatives.kolvex();
        check("older natives are no ScannerEvents", !(n instanceof ScannerEvents));
        boolean missing = false;
        try {
            new KolvexEvents().connectionState();
        } catch (UnsatisfiedLinkError expected) {
            missing = true;
        }
        check("the library lacks the extension natives", missing);
        Collector c = new Collector();
        try (ScannerSession s = open(n)) {
            eq("state unknown", ScannerEvents.STATE_UNKNOWN, s.connectionState());
            eq("no reason", "", s.lastReason());
            s.listen(c);
            List<String> want = new ArrayList<>();
            for (int i = 0; i < 50; i++) {
                want.add("OLD" + i);
                Feed.deliver(packet("OLD" + i));
            }
            List<String> got = new ArrayList<>();
            for (int i = 0; i < want.size(); i++) {
                String x = c.scans.poll(WAIT_S, TimeUnit.SECONDS);
                if (x == null) break;
                got.add(x);
            }
            eq("every scan by polling", want, got);
        }
        Feed.failOpen("not shown");
        try {
            open(ScannerNatives.kolvex()).close();
            check("open succeeded despite the failing framework", false);
        } catch (ScannerException e) {
            eq("message without a reason", "ClaimDevice failed: OPOS_E_ILLEGAL (106)", e.getMessage());
            eq("empty reason", "", e.getReason());
        }
        Feed.failOpen(null);
    }

    public static void main(String[] args) throws Exception {
        Feed.reset();
        switch (args[0]) {
            case "listen": listen(); break;
            case "close": close(); break;
            case "status": status(); break;
            case "reason": reason(); break;
            case "fallback": fallback(); break;
            default: throw new IllegalArgumentException(args[0]);
        }
        System.out.println(failures == 0 ? "PASS " + args[0] : failures + " check(s) failed");
        System.exit(failures == 0 ? 0 : 1);
    }
}
