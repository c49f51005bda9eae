package com.jpos.scanner.javapos.tests;

import static com.jpos.scanner.javapos.tests.Check.check;
import static com.jpos.scanner.javapos.tests.Check.eq;
import static com.jpos.scanner.javapos.tests.Check.fails;
import static com.jpos.scanner.javapos.tests.Check.ok;

import com.jpos.scanner.javapos.KolvexServiceFactory;
import java.nio.charset.StandardCharsets;
import java.util.List;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicReference;
import jpos.JposConst;
import jpos.JposException;
import jpos.events.DataEvent;
import jpos.events.ErrorEvent;
import jpos.events.StatusUpdateEvent;
import jpos.loader.JposServiceInstance;
import jpos.services.BaseService;
import jpos.services.ScannerService110;
import jpos.services.ScannerService12;
import jpos.services.ScannerService13;

/**
 * The JavaPOS service over fake natives, driven by {@link FakeControl} in the control's order.
 *
 * Usage: ServiceTest fake events|poll   the whole behaviour, with and without the event wait
 *        ServiceTest factory            entry properties and level selection
 *        ServiceTest level 1.13|...     on one level's declarations: the factory's pick, loading
 */
public final class ServiceTest {
    static final long WAIT_S = 20;
    /** How long a test waits to see that an event does not come. */
    static final long QUIET_MS = 300;

    private ServiceTest() {}

    static FakeEntry entry(String name, String nativesClass) {
        return new FakeEntry(name).with("deviceType", 3).with("communication", "serial").with("port", 5)
                .with("nativesClass", nativesClass);
    }

    static String text(byte[] b) {
        return new String(b, StandardCharsets.ISO_8859_1);
    }

    static FakeNatives.Scan scan(int i) {
        return new FakeNatives.Scan("]C0LABEL-" + i, "LABEL-" + i, 110 + i % 2);
    }

    /** What a listener sees of the service while it runs: label, type, DataEventEnabled, DataCount. */
    static String sees(ScannerService12 s) {
        try {
            return text(s.getScanDataLabel()) + "|" + s.getScanDataType() + "|DEE=" + s.getDataEventEnabled()
                    + "|count=" + s.getDataCount();
        } catch (JposException e) {
            return "exception " + e.getMessage();
        }
    }

    /** Reads the service from another thread while the listener runs: fails if a lock is held. */
    static boolean otherThreadReads(ScannerService12 s) {
        AtomicReference<String> got = new AtomicReference<>();
        Thread t = new Thread(() -> got.set(sees(s)));
        t.start();
        try {
            t.join(WAIT_S * 1000);
        } catch (InterruptedException e) {
            return false;
        }
        return got.get() != null && !got.get().startsWith("exception");
    }

    static FakeControl.Received next(FakeControl c, String what) throws InterruptedException {
        FakeControl.Received r = c.next(WAIT_S);
        check(what + ": no event within " + WAIT_S + " s", r != null);
        return r;
    }

    static void quiet(FakeControl c, String what) throws InterruptedException {
        FakeControl.Received r = c.received.poll(QUIET_MS, TimeUnit.MILLISECONDS);
        check(what + ": unexpected " + (r == null ? "" : r.event.getClass().getSimpleName()), r == null);
    }

    static long count(List<String> calls, String prefix) {
        return calls.stream().filter(x -> x.startsWith(prefix)).count();
    }

    public static void main(String[] args) throws Exception {
        switch (args[0]) {
            case "fake":
                fake(args[1].equals("events"));
                break;
            case "factory":
                factory();
                break;
            case "level":
                level(args[1]);
                break;
            default:
                System.out.println("FAIL unknown scenario " + args[0]);
        }
        Check.finish();
    }

    // ---- closed service ----

    static void closedService(KolvexServiceFactory f, String natives) throws Exception {
        JposServiceInstance inst = f.createInstance("Closed", entry("Closed", natives));
        BaseService b = (BaseService) inst;
        ScannerService12 s = (ScannerService12) inst;
        eq("State before open", JposConst.JPOS_S_CLOSED, b.getState());
        Object[][] calls = {
            {"getClaimed", (Check.JposCall) b::getClaimed},
            {"claim", (Check.JposCall) () -> b.claim(0)},
            {"release", (Check.JposCall) b::release},
            {"close", (Check.JposCall) b::close},
            {"setDeviceEnabled", (Check.JposCall) () -> b.setDeviceEnabled(true)},
            {"setDataEventEnabled", (Check.JposCall) () -> s.setDataEventEnabled(true)},
            {"getDataCount", (Check.JposCall) s::getDataCount},
            {"getScanData", (Check.JposCall) s::getScanData},
            {"clearInput", (Check.JposCall) s::clearInput},
            {"checkHealth", (Check.JposCall) () -> b.checkHealth(JposConst.JPOS_CH_INTERNAL)},
            {"directIO", (Check.JposCall) () -> b.directIO(1, new int[1], null)},
        };
        for (Object[] c : calls) {
            fails(c[0] + " before open", JposConst.JPOS_E_CLOSED, (String) c[0], (Check.JposCall) c[1]);
        }
        inst.deleteInstance();
        fails("open after deleteInstance", JposConst.JPOS_E_ILLEGAL, "deleted",
                () -> b.open("Closed", new FakeControl()));
    }

    // ---- the whole behaviour over fake natives ----

    static void fake(boolean events) throws Exception {
        String nativesClass = (events ? FakeEventNatives.class : FakeNatives.class).getName();
        KolvexServiceFactory f = new KolvexServiceFactory();
        closedService(f, nativesClass);

        FakeControl c = new FakeControl();
        eq("version on the 1.16 declarations", 1016000, c.open("Scanner", entry("Scanner", nativesClass), f));
        FakeNatives fn = FakeNatives.last;
        BaseService s = c.service();
        ScannerService12 s12 = c.s12;
        ScannerService13 s13 = c.s13;
        ScannerService110 s110 = c.s110;
        eq("natives opened with the entry's arguments", "open 3 1 5 0", fn.calls().get(0));
        eq("State after open", JposConst.JPOS_S_IDLE, s.getState());
        eq("Claimed after open", false, s.getClaimed());
        eq("DeviceEnabled after open", false, s.getDeviceEnabled());
        check("service description names the level", s.getDeviceServiceDescription().contains("1.16"));
        check("device name names the port", s.getPhysicalDeviceName().contains("COM5"));

        // Not claimed.
        fails("setDeviceEnabled unclaimed", JposConst.JPOS_E_NOTCLAIMED, "not claimed", () -> s.setDeviceEnabled(true));
        fails("clearInput unclaimed", JposConst.JPOS_E_NOTCLAIMED, null, s12::clearInput);
        fails("checkHealth unclaimed", JposConst.JPOS_E_NOTCLAIMED, null, () -> s.checkHealth(1));
        fails("release unclaimed", JposConst.JPOS_E_NOTCLAIMED, null, s::release);
        fails("claim(-2)", JposConst.JPOS_E_ILLEGAL, "-2", () -> s.claim(-2));

        // Claim: the natives' codes one to one, with their reason; retries within the time-out.
        fn.claimResults(112);
        if (events) ((FakeEventNatives) fn).setReason("no answer to the claim frame");
        fails("claim(0), no answer", JposConst.JPOS_E_TIMEOUT,
                events ? "JPOS_E_TIMEOUT (112): no answer to the claim frame" : "JPOS_E_TIMEOUT (112)", () -> s.claim(0));
        eq("claim(0) tries once", 1L, count(fn.calls(), "claim"));
        fn.claimResults(109);
        fails("claim(5000), no such device: no retry", JposConst.JPOS_E_NOEXIST, "JPOS_E_NOEXIST", () -> s.claim(5000));
        eq("109 is not retried", 2L, count(fn.calls(), "claim"));
        fn.claimResults(111, 106);
        ok("claim(20000) after a refusal and a busy port", () -> s.claim(20000));
        eq("claim attempts", 5L, count(fn.calls(), "claim"));
        eq("Claimed", true, s.getClaimed());
        ok("claim again", () -> s.claim(0));
        eq("a second claim does not reach the natives", 5L, count(fn.calls(), "claim"));
        eq("DeviceEnabled after claim", false, s.getDeviceEnabled());
        fails("checkHealth disabled", JposConst.JPOS_E_DISABLED, null, () -> s.checkHealth(1));

        // Capabilities this service does not have.
        eq("CapStatisticsReporting", false, c.s110.getCapStatisticsReporting());
        eq("CapUpdateStatistics", false, c.s110.getCapUpdateStatistics());
        eq("CapCompareFirmwareVersion", false, c.s110.getCapCompareFirmwareVersion());
        eq("CapUpdateFirmware", false, c.s110.getCapUpdateFirmware());
        Object[][] illegal = {
            {"directIO", (Check.JposCall) () -> s.directIO(7, new int[1], new StringBuffer())},
            {"resetStatistics", (Check.JposCall) () -> s110.resetStatistics("")},
            {"retrieveStatistics", (Check.JposCall) () -> s110.retrieveStatistics(new String[] {""})},
            {"updateStatistics", (Check.JposCall) () -> s110.updateStatistics("")},
            {"compareFirmwareVersion", (Check.JposCall) () -> s110.compareFirmwareVersion("f", new int[1])},
            {"updateFirmware", (Check.JposCall) () -> s110.updateFirmware("f")},
        };
        for (Object[] x : illegal) fails((String) x[0], JposConst.JPOS_E_ILLEGAL, (String) x[0], (Check.JposCall) x[1]);

        // Enable; DecodeData and AutoDisable pass through to the natives.
        ok("setDecodeData", () -> s12.setDecodeData(true));
        eq("DecodeData", true, s12.getDecodeData());
        ok("setDeviceEnabled", () -> s.setDeviceEnabled(true));
        eq("DeviceEnabled", true, s.getDeviceEnabled());
        ok("checkHealth(INTERNAL)", () -> s.checkHealth(JposConst.JPOS_CH_INTERNAL));
        check("CheckHealthText " + s.getCheckHealthText(), s.getCheckHealthText().startsWith("Internal HCheck: Successful"));
        fails("checkHealth(EXTERNAL)", JposConst.JPOS_E_ILLEGAL, "not supported", () -> s.checkHealth(JposConst.JPOS_CH_EXTERNAL));
        fails("checkHealth(INTERACTIVE)", JposConst.JPOS_E_ILLEGAL, null, () -> s.checkHealth(JposConst.JPOS_CH_INTERACTIVE));
        fails("checkHealth(9)", JposConst.JPOS_E_ILLEGAL, "9", () -> s.checkHealth(9));

        delivery(c, fn, s, s12);
        freezeAndAutoDisable(c, fn, s, s12);
        errors(c, fn, s, s12, s110);
        if (events) power(c, (FakeEventNatives) fn, s, s12, s13);
        else noPower(c, fn, s, s12, s13);
        onePerProcess(f, nativesClass);
        closeWithPending(c, fn, s, s12);
        closeFromListener(f, nativesClass);
        closeDuringClaim(f, nativesClass);
    }

    static void closeDuringClaim(KolvexServiceFactory f, String nativesClass) throws Exception {
        // claim(JPOS_FOREVER) on a scanner that keeps refusing: a close from another thread
        // ends it.
        FakeControl c = new FakeControl();
        ok("open", () -> c.open("Busy", entry("Busy", nativesClass), f));
        if (c.service() == null) return;
        FakeNatives fn = FakeNatives.last;
        Integer[] refusals = new Integer[100_000];
        java.util.Arrays.fill(refusals, JposConst.JPOS_E_FAILURE);
        fn.claimResults(refusals);
        AtomicReference<Object> claimEnded = new AtomicReference<>();
        Thread claimer = new Thread(() -> {
            try {
                c.service().claim(-1);
                claimEnded.set("claimed");
            } catch (JposException e) {
                claimEnded.set(e.getErrorCode());
            }
        });
        claimer.start();
        long end = System.nanoTime() + WAIT_S * 1_000_000_000L;
        while (count(fn.calls(), "claim") < 2 && System.nanoTime() < end) Thread.sleep(1);
        check("claim(JPOS_FOREVER) tries again", count(fn.calls(), "claim") >= 2);
        ok("close during claim(JPOS_FOREVER)", c::close);
        claimer.join(WAIT_S * 1000);
        check("claim ended with the close", !claimer.isAlive());
        eq("claim's outcome", JposConst.JPOS_E_CLOSED, claimEnded.get());
        eq("natives closed", false, fn.isOpened());
    }

    static void delivery(FakeControl c, FakeNatives fn, BaseService s, ScannerService12 s12) throws Exception {
        // Three scans wait; each listener sees its own scan, DataEventEnabled false and the
        // count of those still queued, reads the service from another thread, and re-enables.
        c.onData = e -> {
            String seen = sees(s12) + "|other=" + otherThreadReads(s12);
            try {
                s12.setDataEventEnabled(true);
            } catch (JposException x) {
                seen += "|" + x;
            }
            return seen;
        };
        for (int i = 0; i < 3; i++) fn.queue(scan(i));
        eq("DataCount with three queued", 3, s12.getDataCount());
        quiet(c, "DataEventEnabled false");
        ok("setDataEventEnabled", () -> s12.setDataEventEnabled(true));
        Thread first = null;
        for (int i = 0; i < 4; i++) {
            if (i == 3) fn.queue(scan(3));  // arrives while DataEventEnabled is set
            FakeControl.Received r = next(c, "scan " + i);
            if (r == null) return;
            check("DataEvent " + i, r.event instanceof DataEvent);
            eq("scan " + i + " as the listener saw it", "LABEL-" + i + "|" + (110 + i % 2) + "|DEE=false|count="
                    + (i < 3 ? 2 - i : 0) + "|other=true", r.seen);
            eq("event source", c, r.event.getSource());
            eq("DataEvent status", 0, ((DataEvent) r.event).getStatus());
            check("delivered on the service's thread, not the caller's: " + r.thread.getName(),
                    r.thread != Thread.currentThread() && r.thread.getName().startsWith("kolvex-javapos-events"));
            if (first == null) first = r.thread;
            check("one delivering thread", r.thread == first);
        }
        eq("ScanData after", "]C0LABEL-3", text(s12.getScanData()));
        eq("the natives were read on the service's thread", first, fn.popThread);

        // Without re-enabling: one event, then the next waits for DataEventEnabled.
        c.onData = e -> sees(s12);
        ok("setDataEventEnabled", () -> s12.setDataEventEnabled(false));
        fn.queue(scan(4));
        fn.queue(scan(5));
        quiet(c, "DataEventEnabled false after the listener set it");
        ok("setDataEventEnabled", () -> s12.setDataEventEnabled(true));
        FakeControl.Received r = next(c, "scan 4");
        if (r != null) eq("scan 4", "LABEL-4|110|DEE=false|count=1", r.seen);
        quiet(c, "DataEventEnabled cleared by the delivery");
        eq("DataEventEnabled after the delivery", false, s12.getDataEventEnabled());
        eq("DataCount", 1, s12.getDataCount());
        ok("setDataEventEnabled", () -> s12.setDataEventEnabled(true));
        r = next(c, "scan 5");
        if (r != null) eq("scan 5", "LABEL-5|111|DEE=false|count=0", r.seen);

        // A scan the receive path queues while the natives hand over another: DataCount stays
        // where it was, yet that is a delivery, not an input error.
        fn.arriveDuringNextPop(scan(15));
        fn.queue(scan(14));
        ok("setDataEventEnabled", () -> s12.setDataEventEnabled(true));
        r = next(c, "scan 14 with scan 15 arriving");
        if (r != null && check2("DataEvent while a scan arrives", r.event instanceof DataEvent)) {
            eq("scan 14", "LABEL-14|110|DEE=false|count=1", r.seen);
        }
        ok("setDataEventEnabled", () -> s12.setDataEventEnabled(true));
        r = next(c, "scan 15");
        if (r != null) eq("scan 15", "LABEL-15|111|DEE=false|count=0", r.seen);
    }

    static void freezeAndAutoDisable(FakeControl c, FakeNatives fn, BaseService s, ScannerService12 s12)
            throws Exception {
        c.onData = e -> sees(s12);
        ok("setFreezeEvents", () -> s.setFreezeEvents(true));
        eq("FreezeEvents", true, s.getFreezeEvents());
        ok("setDataEventEnabled", () -> s12.setDataEventEnabled(true));
        fn.queue(scan(6));
        quiet(c, "FreezeEvents holds the DataEvent");
        eq("DataCount while frozen", 1, s12.getDataCount());
        ok("unfreeze", () -> s.setFreezeEvents(false));
        FakeControl.Received r = next(c, "scan 6 after unfreezing");
        if (r != null) eq("scan 6", "LABEL-6|110|DEE=false|count=0", r.seen);

        ok("setAutoDisable", () -> s12.setAutoDisable(true));
        eq("AutoDisable", true, s12.getAutoDisable());
        ok("setDataEventEnabled", () -> s12.setDataEventEnabled(true));
        fn.queue(scan(7));
        r = next(c, "scan 7 with AutoDisable");
        if (r != null) eq("scan 7", "LABEL-7|111|DEE=false|count=0", r.seen);
        eq("DeviceEnabled after an AutoDisable scan", false, s.getDeviceEnabled());
        check("the natives disabled the device", fn.calls().contains("autodisable"));
        ok("setAutoDisable false", () -> s12.setAutoDisable(false));
        ok("enable again", () -> s.setDeviceEnabled(true));
    }

    static void errors(FakeControl c, FakeNatives fn, BaseService s, ScannerService12 s12,
            ScannerService110 s110) throws Exception {
        // A scan the natives fail to hand over: an input ErrorEvent, State ERROR meanwhile;
        // JPOS_ER_CLEAR empties the queue.
        c.onError = e -> {
            String seen;
            try {
                seen = "state=" + s.getState() + "|response=" + e.getErrorResponse();
            } catch (JposException x) {
                seen = x.toString();
            }
            e.setErrorResponse(JposConst.JPOS_ER_CLEAR);
            return seen;
        };
        fn.failNextPop(111);
        fn.queue(scan(8));
        fn.queue(scan(9));
        ok("setDataEventEnabled", () -> s12.setDataEventEnabled(true));
        FakeControl.Received r = next(c, "input error");
        if (r != null && check2("ErrorEvent", r.event instanceof ErrorEvent)) {
            ErrorEvent e = (ErrorEvent) r.event;
            eq("ErrorCode", JposConst.JPOS_E_FAILURE, e.getErrorCode());
            eq("ErrorLocus with scans still queued", JposConst.JPOS_EL_INPUT_DATA, e.getErrorLocus());
            eq("State inside the listener, default response", "state=" + JposConst.JPOS_S_ERROR + "|response="
                    + JposConst.JPOS_ER_CONTINUEINPUT, r.seen);
        }
        quiet(c, "after JPOS_ER_CLEAR");
        eq("DataCount after JPOS_ER_CLEAR", 0, s12.getDataCount());
        eq("State after the error", JposConst.JPOS_S_IDLE, s.getState());
        check("the response cleared the natives' input", fn.calls().contains("clearInput"));

        // ClearInput and clearInputProperties.
        ok("setDataEventEnabled false", () -> s12.setDataEventEnabled(false));
        fn.queue(scan(10));
        fn.queue(scan(11));
        eq("DataCount", 2, s12.getDataCount());
        ok("clearInput", s12::clearInput);
        eq("DataCount after clearInput", 0, s12.getDataCount());
        check("ScanData kept by clearInput", s12.getScanData().length > 0);
        ok("clearInputProperties", s110::clearInputProperties);
        eq("ScanData after clearInputProperties", 0, s12.getScanData().length);
        eq("ScanDataLabel after clearInputProperties", 0, s12.getScanDataLabel().length);
        eq("ScanDataType after clearInputProperties", 0, s12.getScanDataType());
    }

    static boolean check2(String what, boolean ok) {
        check(what, ok);
        return ok;
    }

    static void power(FakeControl c, FakeEventNatives fn, BaseService s, ScannerService12 s12,
            ScannerService13 s13) throws Exception {
        eq("CapPowerReporting with connection state", JposConst.JPOS_PR_STANDARD, s13.getCapPowerReporting());
        fails("PowerNotify while enabled", JposConst.JPOS_E_ILLEGAL, "disabled",
                () -> s13.setPowerNotify(JposConst.JPOS_PN_ENABLED));
        fails("PowerNotify 5", JposConst.JPOS_E_ILLEGAL, "5", () -> s13.setPowerNotify(5));
        ok("disable", () -> s.setDeviceEnabled(false));
        ok("PowerNotify", () -> s13.setPowerNotify(JposConst.JPOS_PN_ENABLED));
        eq("PowerState while disabled", JposConst.JPOS_PS_UNKNOWN, s13.getPowerState());
        ok("enable", () -> s.setDeviceEnabled(true));
        int[][] steps = {
            {-2, JposConst.JPOS_SUE_POWER_ONLINE},  // the state at enabling
            {0, JposConst.JPOS_SUE_POWER_OFF_OFFLINE},
            {1, JposConst.JPOS_SUE_POWER_ONLINE},
        };
        Thread deliverer = null;
        for (int[] st : steps) {
            if (st[0] >= 0) fn.setConnection(st[0]);
            FakeControl.Received r = next(c, "StatusUpdateEvent " + st[1]);
            if (r == null || !check2("StatusUpdateEvent", r.event instanceof StatusUpdateEvent)) continue;
            eq("status", st[1], ((StatusUpdateEvent) r.event).getStatus());
            eq("PowerState", st[1], s13.getPowerState());
            deliverer = r.thread;
        }
        check("status delivered by the delivering thread, not the waiting one",
                deliverer != null && deliverer != fn.waiter() && deliverer.getName().startsWith("kolvex-javapos-events"));
        // Frozen: the status waits.
        ok("freeze", () -> s.setFreezeEvents(true));
        fn.setConnection(0);
        quiet(c, "StatusUpdateEvent while frozen");
        fails("checkHealth offline", JposConst.JPOS_E_OFFLINE, "offline", () -> s.checkHealth(1));
        ok("unfreeze", () -> s.setFreezeEvents(false));
        FakeControl.Received r = next(c, "StatusUpdateEvent after unfreezing");
        if (r != null) eq("status after unfreezing", JposConst.JPOS_SUE_POWER_OFF_OFFLINE, ((StatusUpdateEvent) r.event).getStatus());
        fn.setConnection(1);
        next(c, "back online");

        // Idle: the delivering thread sleeps; nothing looks at DataCount.
        ok("setDataEventEnabled", () -> s12.setDataEventEnabled(true));
        quiet(c, "idle");
        int reads = fn.dataCountReads();
        int waits = fn.waits();
        Thread.sleep(QUIET_MS);
        eq("DataCount reads while idle with the event wait", reads, fn.dataCountReads());
        check("the natives' wait is used", waits > 0);
        fn.queue(scan(12));
        next(c, "scan through the wait");
    }

    static void noPower(FakeControl c, FakeNatives fn, BaseService s, ScannerService12 s12,
            ScannerService13 s13) throws Exception {
        eq("CapPowerReporting without connection state", JposConst.JPOS_PR_NONE, s13.getCapPowerReporting());
        ok("disable", () -> s.setDeviceEnabled(false));
        fails("PowerNotify without power reporting", JposConst.JPOS_E_ILLEGAL, "JPOS_PR_NONE",
                () -> s13.setPowerNotify(JposConst.JPOS_PN_ENABLED));
        ok("enable", () -> s.setDeviceEnabled(true));
        eq("PowerState", JposConst.JPOS_PS_UNKNOWN, s13.getPowerState());
        // Without the wait the service looks at DataCount on its own.
        ok("setDataEventEnabled", () -> s12.setDataEventEnabled(true));
        int reads = fn.dataCountReads();
        fn.queue(scan(12));
        next(c, "scan through polling");
        check("DataCount polled", fn.dataCountReads() > reads);
    }

    static void onePerProcess(KolvexServiceFactory f, String nativesClass) throws Exception {
        FakeControl other = new FakeControl();
        fails("a second open in the process", JposConst.JPOS_E_ILLEGAL, "one scanner per process",
                () -> other.open("Second", entry("Second", nativesClass), f));
    }

    static void closeWithPending(FakeControl c, FakeNatives fn, BaseService s, ScannerService12 s12)
            throws Exception {
        // A listener is running when close comes; more scans wait. Close waits for that
        // listener, and nothing is delivered after it.
        CountDownLatch inListener = new CountDownLatch(1);
        CountDownLatch proceed = new CountDownLatch(1);
        c.onData = e -> {
            inListener.countDown();
            try {
                proceed.await(WAIT_S, TimeUnit.SECONDS);
            } catch (InterruptedException x) {
                Thread.currentThread().interrupt();
            }
            try {
                s12.setDataEventEnabled(true);
            } catch (JposException x) {
                return "re-enable failed: " + x.getErrorCode();
            }
            return "re-enabled";
        };
        ok("setDataEventEnabled", () -> s12.setDataEventEnabled(true));
        for (int i = 20; i < 23; i++) fn.queue(scan(i));
        check("listener entered", inListener.await(WAIT_S, TimeUnit.SECONDS));
        AtomicReference<Exception> closeFailed = new AtomicReference<>();
        Thread closer = new Thread(() -> {
            try {
                c.close();
            } catch (Exception e) {
                closeFailed.set(e);
            }
        });
        closer.start();
        // The closer waits for the listener; let the listener go once close has begun.
        long end = System.nanoTime() + WAIT_S * 1_000_000_000L;
        while (s.getState() != JposConst.JPOS_S_CLOSED && closer.isAlive() && System.nanoTime() < end) {
            try {
                s12.getDataCount();
            } catch (JposException closing) {
                break;  // close has begun
            }
            Thread.sleep(1);
        }
        proceed.countDown();
        closer.join(WAIT_S * 1000);
        check("close returned", !closer.isAlive());
        eq("close failure", null, closeFailed.get());
        List<FakeControl.Received> got = c.drain();
        eq("events delivered around close", 1, got.size());
        if (got.size() == 1) eq("the running listener could not re-enable", "re-enable failed: " + JposConst.JPOS_E_CLOSED, got.get(0).seen);
        eq("natives closed", false, fn.isOpened());
        List<String> calls = fn.calls();
        eq("last natives calls", "[release, close]", calls.subList(calls.size() - 2, calls.size()).toString());
        eq("State after close", JposConst.JPOS_S_CLOSED, s.getState());
        check("the delivering thread ended", got.isEmpty() || joined(got.get(0).thread));
        quiet(c, "after close");
        fails("open after deleteInstance", JposConst.JPOS_E_ILLEGAL, null, () -> s.open("Scanner", c));
    }

    static boolean joined(Thread t) {
        try {
            t.join(WAIT_S * 1000);
        } catch (InterruptedException e) {
            return false;
        }
        return !t.isAlive();
    }

    static void closeFromListener(KolvexServiceFactory f, String nativesClass) throws Exception {
        // The first service is closed: the process may open another.
        FakeControl c = new FakeControl();
        ok("open after the first closed", () -> c.open("Again", entry("Again", nativesClass), f));
        if (c.service() == null) return;
        FakeNatives fn = FakeNatives.last;
        ok("claim", () -> c.service().claim(1000));
        ok("enable", () -> c.service().setDeviceEnabled(true));
        c.onData = e -> {
            try {
                c.close();
                return "closed";
            } catch (JposException x) {
                return "close failed: " + x.getMessage();
            }
        };
        ok("setDataEventEnabled", () -> c.s12.setDataEventEnabled(true));
        fn.queue(scan(30));
        fn.queue(scan(31));
        FakeControl.Received r = next(c, "event that closes");
        if (r == null) return;
        eq("close from the listener", "closed", r.seen);
        check("the delivering thread ended after its listener closed", joined(r.thread));
        quiet(c, "after a close from the listener");
        eq("natives closed", false, fn.isOpened());
        eq("State", JposConst.JPOS_S_CLOSED, c.service().getState());

        // Natives that someone else opened, natives that refuse, natives that cannot load.
        Object[][] cases = {
            {FakeNatives.PreOpened.class, JposConst.JPOS_E_ILLEGAL, "already open in this process"},
            {FakeNatives.NoDevice.class, JposConst.JPOS_E_NOEXIST, "JPOS_E_NOEXIST (109)"},
            {FakeNatives.Unloadable.class, JposConst.JPOS_E_NOSERVICE, "no Kolvex in java.library.path"},
        };
        for (Object[] x : cases) {
            String cls = ((Class<?>) x[0]).getName();
            FakeControl d = new FakeControl();
            fails("open over " + cls, (Integer) x[1], (String) x[2], () -> d.open("Odd", entry("Odd", cls), f));
        }
        FakeControl e = new FakeControl();
        ok("open after the failed ones", () -> e.open("Last", entry("Last", nativesClass), f));
        ok("close", e::close);
    }

    // ---- factory ----

    static void factory() throws Exception {
        KolvexServiceFactory f = new KolvexServiceFactory();
        String fake = FakeNatives.class.getName();
        Object[][] bad = {
            // property, value, code
            {"deviceType", null, JposConst.JPOS_E_NOSERVICE},
            {"deviceType", 7, JposConst.JPOS_E_ILLEGAL},
            {"deviceType", 0, JposConst.JPOS_E_ILLEGAL},
            {"deviceType", "three", JposConst.JPOS_E_ILLEGAL},
            {"communication", null, JposConst.JPOS_E_NOSERVICE},
            {"communication", "usb", JposConst.JPOS_E_ILLEGAL},
            {"port", null, JposConst.JPOS_E_NOSERVICE},
            {"port", 0, JposConst.JPOS_E_ILLEGAL},
            {"port", "COM1", JposConst.JPOS_E_ILLEGAL},
            {"maxServiceVersion", "1.12", JposConst.JPOS_E_ILLEGAL},
            {"pollInterval", 0, JposConst.JPOS_E_ILLEGAL},
            {"nativesClass", "no.such.Natives", JposConst.JPOS_E_NOSERVICE},
            {"nativesClass", "java.lang.String", JposConst.JPOS_E_ILLEGAL},
        };
        for (Object[] b : bad) {
            FakeEntry e = entry("Bad", fake).with((String) b[0], b[1]);
            fails("createInstance with " + b[0] + "=" + b[1], (Integer) b[2], (String) b[0],
                    () -> f.createInstance("Bad", e));
        }
        fails("createInstance without an entry", JposConst.JPOS_E_NOSERVICE, "Bad", () -> f.createInstance("Bad", null));

        Object[][] good = {
            // property, value, version, opens as (device type, communication, port)
            {"deviceType", "2", 1016000, "open 2 1 5 0"},
            {"communication", "UDP", 1016000, "open 3 2 0 0"},
            {"communication", "hid", 1016000, "open 3 3 0 0"},
            {"maxServiceVersion", "1.14", 1014000, "open 3 1 5 0"},
            {"maxServiceVersion", "1.13", 1013000, "open 3 1 5 0"},
            {"maxServiceVersion", "1.16", 1016000, "open 3 1 5 0"},
        };
        for (Object[] g : good) {
            String what = g[0] + "=" + g[1];
            FakeEntry e = entry("Good", fake).with((String) g[0], g[1]);
            FakeControl c = new FakeControl();
            try {
                eq(what + ": version", g[2], c.open("Good", e, f));
                eq(what + ": natives Open", g[3], FakeNatives.last.calls().get(0));
                c.close();
            } catch (JposException x) {
                check(what + ": " + x.getMessage(), false);
            }
        }
    }

    // ---- one level's declarations ----

    static void level(String level) throws Exception {
        int version = FakeControl.levelOf(level.replace(".", ""));
        String[] ours = {"113", "114", "115", "116"};
        // Our classes for this level and older load; the newer ones cannot on this jar.
        for (String v : ours) {
            String cls = "com.jpos.scanner.javapos.KolvexScannerService" + v;
            boolean loads;
            try {
                Class.forName(cls);
                loads = true;
            } catch (NoClassDefFoundError e) {
                loads = false;
            }
            eq(cls + " loads on the " + level + " declarations", FakeControl.levelOf(v) <= version, loads);
        }
        FakeControl c = new FakeControl();
        eq("the factory's level", version, c.open("Level", entry("Level", FakeNatives.class.getName()),
                new KolvexServiceFactory()));
        if (c.service() == null) return;
        eq("class", "KolvexScannerService" + level.replace(".", ""), c.service().getClass().getSimpleName());
        FakeNatives fn = FakeNatives.last;
        c.onData = e -> sees(c.s12);
        ok("claim", () -> c.service().claim(1000));
        ok("enable", () -> c.service().setDeviceEnabled(true));
        ok("DecodeData", () -> c.s12.setDecodeData(true));
        ok("DataEventEnabled", () -> c.s12.setDataEventEnabled(true));
        fn.queue(scan(1));
        FakeControl.Received r = next(c, "scan on " + level);
        if (r != null) eq("scan", "LABEL-1|111|DEE=false|count=0", r.seen);
        ok("clearInputProperties (1.10)", c.s110::clearInputProperties);
        ok("release", () -> c.service().release());
        ok("close", c::close);
    }
}
