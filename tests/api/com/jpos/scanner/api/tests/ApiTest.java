package com.jpos.scanner.api.tests;

import static com.jpos.scanner.api.ScannerProperty.*;

import com.jpos.scanner.api.ResultCode;
import com.jpos.scanner.api.Scan;
import com.jpos.scanner.api.ScanDataType;
import com.jpos.scanner.api.ScanListener;
import com.jpos.scanner.api.ScannerException;
import com.jpos.scanner.api.ScannerNatives;
import com.jpos.scanner.api.ScannerProperty;
import com.jpos.scanner.api.ScannerSession;
import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.nio.charset.StandardCharsets;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;

/**
 * Tests of the Java API. "names" and "fake" run the session over a recording stand-in for the
 * natives; the other scenarios drive the real libKolvex and libTavrix in this JVM against the
 * simulated scanner on a pseudo-terminal (one service object per process, so one scenario
 * per JVM). Exit status 0 when every check held; each failed check prints a "FAIL " line.
 *
 * Usage: ApiTest SCENARIO [SCANNER-SIM LINK]
 */
public final class ApiTest {
    private static int failures;
    // Generous bound for anything that waits on the listener or the simulator.
    private static final long WAIT_S = 20;

    private ApiTest() {}

    static void check(String what, boolean ok) {
        if (!ok) {
            System.out.println("FAIL " + what);
            failures++;
        }
    }

    static void eq(String what, Object want, Object got) {
        boolean same = want == null ? got == null : want.equals(got);
        if (!same) {
            System.out.println("FAIL " + what + ": want " + want + ", got " + got);
            failures++;
        }
    }

    static byte[] ascii(String s) {
        return s.getBytes(StandardCharsets.ISO_8859_1);
    }

    static String text(byte[] b) {
        return new String(b, StandardCharsets.ISO_8859_1);
    }

    interface Body {
        void run() throws Exception;
    }

    /** Runs body, which must throw a ScannerException with this result code. */
    static void expectCode(String what, int code, Body body) {
        try {
            body.run();
            check(what + ": no exception", false);
        } catch (ScannerException e) {
            eq(what + ": result code", code, e.getResultCode());
        } catch (Exception e) {
            check(what + ": unexpected " + e, false);
        }
    }

    // ---------------------------------------------------------------- names

    static void names() {
        Object[][] results = {
            {0, "OPOS_SUCCESS"}, {101, "OPOS_E_CLOSED"}, {103, "OPOS_E_NOTCLAIMED"},
            {106, "OPOS_E_ILLEGAL"}, {109, "OPOS_E_NOEXIST"}, {111, "OPOS_E_FAILURE"},
            {112, "OPOS_E_TIMEOUT"}, {114, "OPOS_E_EXTENDED"}, {100, "OPOS_?(100)"},
            {115, "OPOS_?(115)"}, {-1, "OPOS_?(-1)"},
        };
        for (Object[] r : results) eq("ResultCode.name(" + r[0] + ")", r[1], ResultCode.name((Integer) r[0]));

        // Every scan data type the service can give, and some it cannot.
        Object[][] types = {
            {0, "SCAN_SDT_UNKNOWN"}, {101, "SCAN_SDT_UPCA"}, {102, "SCAN_SDT_UPCE"},
            {103, "SCAN_SDT_EAN8"}, {104, "SCAN_SDT_EAN13"}, {105, "SCAN_SDT_TF"},
            {106, "SCAN_SDT_ITF"}, {107, "SCAN_SDT_Codabar"}, {108, "SCAN_SDT_Code39"},
            {109, "SCAN_SDT_Code93"}, {110, "SCAN_SDT_Code128"}, {111, "SCAN_SDT_UPCA_S"},
            {112, "SCAN_SDT_UPCE_S"}, {118, "SCAN_SDT_EAN8_S"}, {119, "SCAN_SDT_EAN13_S"},
            {120, "SCAN_SDT_EAN128"}, {122, "SCAN_SDT_OCRB"}, {131, "SCAN_SDT_GS1DATABAR"},
            {132, "SCAN_SDT_GS1DATABAR_E"}, {201, "SCAN_SDT_PDF417"}, {202, "SCAN_SDT_MAXICODE"},
            {203, "SCAN_SDT_DATAMATRIX"}, {204, "SCAN_SDT_QRCODE"}, {205, "SCAN_SDT_UQRCODE"},
            {206, "SCAN_SDT_AZTEC"}, {207, "SCAN_SDT_UPDF417"}, {501, "SCAN_SDT_OTHER"},
            {113, "SCAN_SDT_?(113)"}, {500, "SCAN_SDT_?(500)"},
        };
        for (Object[] r : types) eq("ScanDataType.name(" + r[0] + ")", r[1], ScanDataType.name((Integer) r[0]));
        eq("describe(204)", "QR Code", ScanDataType.describe(204));

        Object[][] props = {
            {1, "PIDX_Claimed"}, {2, "PIDX_DataEventEnabled"}, {3, "PIDX_DeviceEnabled"},
            {4, "PIDX_FreezeEvents"}, {5, "PIDX_OutputID"}, {6, "PIDX_ResultCode"},
            {7, "PIDX_ResultCodeExtended"}, {8, "PIDX_ServiceObjectVersion"}, {9, "PIDX_State"},
            {10, "PIDX_AutoDisable"}, {11, "PIDX_BinaryConversion"}, {12, "PIDX_DataCount"},
            {13, "PIDX_PowerNotify"}, {14, "PIDX_PowerState"}, {501, "PIDX_CapPowerReporting"},
            {10001, "PIDXScan_DecodeData"}, {10002, "PIDXScan_ScanDataType"},
            {1000001, "PIDX_CheckHealthText"}, {1000002, "PIDX_DeviceDescription"},
            {1000003, "PIDX_DeviceName"}, {1000004, "PIDX_ServiceObjectDescription"},
            {1010001, "PIDXScan_ScanData"}, {1010002, "PIDXScan_ScanDataLabel"},
            {15, "PIDX_?(15)"}, {0, "PIDX_?(0)"},
        };
        for (Object[] r : props) eq("ScannerProperty.name(" + r[0] + ")", r[1], ScannerProperty.name((Integer) r[0]));
        check("isString(1010002)", ScannerProperty.isString(PIDXScan_ScanDataLabel));
        check("!isString(10002)", !ScannerProperty.isString(PIDXScan_ScanDataType));
    }

    // ---------------------------------------------------------------- fake natives

    /** A stand-in service: a scripted result per operation, a scan queue, a call record. */
    static final class FakeNatives implements ScannerNatives {
        final List<String> calls = new ArrayList<>();
        int openRc, stateAfterOpen = OPOS_S_IDLE, claimRc, releaseRc;
        int failSetIndex = -1, failSetCode;  // a setter that leaves this ResultCode
        boolean frozen;
        int resultCode;
        private final ArrayDeque<Scan> queue = new ArrayDeque<>();
        private Scan current = new Scan(new byte[0], new byte[0], 0);

        synchronized void push(Scan s) {
            queue.add(s);
        }

        synchronized List<String> calls() {
            return new ArrayList<>(calls);
        }

        @Override public synchronized int open(int d, int c, int p, int k) {
            calls.add("open " + d + " " + c + " " + p + " " + k);
            return openRc;
        }
        @Override public synchronized int close() {
            calls.add("close");
            return 0;
        }
        @Override public synchronized int claimDevice(int t) {
            calls.add("claim");
            return claimRc;
        }
        @Override public synchronized int releaseDevice() {
            calls.add("release");
            return releaseRc;
        }
        @Override public synchronized int clearInput() {
            queue.clear();
            return 0;
        }
        @Override public synchronized int getNumber(int index) {
            switch (index) {
                case PIDX_State: return stateAfterOpen;
                case PIDX_ResultCode: return resultCode;
                case PIDX_DataCount: return queue.size();
                case PIDXScan_ScanDataType: return current.getType();
                default: return 0;
            }
        }
        @Override public synchronized void setNumber(int index, int value) {
            if (index != PIDX_DataEventEnabled) calls.add("set " + index + "=" + value);
            resultCode = index == failSetIndex ? failSetCode : 0;
            if (index == PIDX_DataEventEnabled && value != 0 && !frozen && !queue.isEmpty()) {
                current = queue.poll();
            }
        }
        @Override public synchronized byte[] getString(int index) {
            if (index == PIDXScan_ScanData) return current.getData();
            if (index == PIDXScan_ScanDataLabel) return current.getLabel();
            return new byte[0];
        }
    }

    static final class Collector implements ScanListener {
        final BlockingQueue<Object> got = new LinkedBlockingQueue<>();
        volatile String throwOn;

        @Override public void onScan(Scan s) {
            got.add(s);
            if (throwOn != null && s.getLabelText().equals(throwOn)) throw new IllegalStateException("listener fault");
        }
        @Override public void onError(Exception e) {
            got.add(e);
        }
        Object next() throws InterruptedException {
            return got.poll(WAIT_S, TimeUnit.SECONDS);
        }
    }

    static Scan scan(String label, int type) {
        return new Scan(ascii(label), ascii(label), type);
    }

    static void fake() throws Exception {
        // Failures while opening: the exception's code and what was called (nothing stays open).
        Object[][] openCases = {
            // what, open rc, state after open, ResultCode after open, claim rc,
            // failing setter and its code, expected code, calls
            {"Open refused", 106, 2, 0, 0, -1, 0, 106, "open 3 1 4 0"},
            {"Open answers 0 but stays closed", 0, 1, 101, 0, -1, 0, 101, "open 3 1 4 0"},
            {"claim timeout", 0, 2, 0, 112, -1, 0, 112, "open 3 1 4 0,claim,close"},
            {"claim refused", 0, 2, 0, 111, -1, 0, 111, "open 3 1 4 0,claim,close"},
            {"enable not claimed", 0, 2, 0, 0, PIDX_DeviceEnabled, 103, 103,
                "open 3 1 4 0,claim,set 10001=1,set 10=0,set 3=1,close"},
        };
        for (Object[] c : openCases) {
            FakeNatives f = new FakeNatives();
            f.openRc = (Integer) c[1];
            f.stateAfterOpen = (Integer) c[2];
            f.resultCode = (Integer) c[3];
            f.claimRc = (Integer) c[4];
            f.failSetIndex = (Integer) c[5];
            f.failSetCode = (Integer) c[6];
            expectCode((String) c[0], (Integer) c[7],
                () -> ScannerSession.builder().deviceType(3).serial(4).natives(f).open());
            eq(c[0] + ": calls", c[8], String.join(",", f.calls()));
        }

        // Settings reach Open and the setters.
        FakeNatives f = new FakeNatives();
        ScannerSession s = ScannerSession.builder().deviceType(2).udp().keepDataEvents(true)
                .decodeData(false).autoDisable(true).natives(f).open();
        eq("settings: calls", "open 2 2 0 1,claim,set 10001=0,set 10=1,set 3=1", String.join(",", f.calls()));

        // A setter whose ResultCode is not 0 throws with that code.
        f.failSetIndex = PIDX_FreezeEvents;
        f.failSetCode = 101;
        expectCode("setNumber failure", 101, () -> s.setNumber(PIDX_FreezeEvents, 1));
        f.failSetIndex = -1;

        // pull: nothing waiting, frozen (DataCount does not drop), then one scan.
        eq("pull empty", null, s.pull());
        f.push(scan("A1", 101));
        f.frozen = true;
        eq("pull frozen", null, s.pull());
        f.frozen = false;
        eq("pull one", scan("A1", 101), s.pull());

        // Listener: order kept, a throwing listener reported and the thread carries on.
        Collector col = new Collector();
        col.throwOn = "B2";
        f.push(scan("B1", 104));
        f.push(scan("B2", 110));
        f.push(scan("B3", 204));
        s.listen(col);
        check("listening", s.isListening());
        try {
            s.listen(new Collector());
            check("second listener refused", false);
        } catch (IllegalStateException expected) {
            // one listener per session
        }
        eq("listener 1", scan("B1", 104), col.next());
        eq("listener 2", scan("B2", 110), col.next());
        Object err = col.next();
        check("listener fault reported: " + err, err instanceof IllegalStateException);
        eq("listener 3", scan("B3", 204), col.next());
        // A scan that arrives later is found on a later look.
        f.push(scan("C1", 501));
        eq("listener later scan", scan("C1", 501), col.next());

        // Close: listener stopped, disable, release, close; a failed release is thrown after close.
        f.releaseRc = 111;
        synchronized (f) { f.calls.clear(); }
        expectCode("close with failing release", 111, s::close);
        check("listener stopped by close", !s.isListening());
        eq("close calls", "set 3=0,release,close", String.join(",", f.calls()));
        synchronized (f) { f.calls.clear(); }
        s.close();
        eq("second close does nothing", "", String.join(",", f.calls()));
        expectCode("use after close", 101, () -> s.getNumber(PIDX_State));
    }

    // ---------------------------------------------------------------- simulated scanner

    /** The simulated scanner as a child process, driven through its command stream. */
    static final class Sim implements AutoCloseable {
        final Process p;
        final BufferedReader out;
        final Writer in;

        Sim(String exe, String link, int type, String reply) throws IOException {
            p = new ProcessBuilder(exe, "--type", String.valueOf(type), "--pty", "--link", link,
                    "--reply", reply).redirectError(ProcessBuilder.Redirect.INHERIT).start();
            out = new BufferedReader(new InputStreamReader(p.getInputStream(), StandardCharsets.ISO_8859_1));
            in = new OutputStreamWriter(p.getOutputStream(), StandardCharsets.ISO_8859_1);
            for (String l = out.readLine(); ; l = out.readLine()) {
                if (l == null) throw new IOException("scanner-sim ended before READY");
                if (l.equals("READY")) break;
            }
        }

        String cmd(String line) throws IOException {
            in.write(line + "\n");
            in.flush();
            String l = out.readLine();
            if (l == null) throw new IOException("scanner-sim ended");
            return l;
        }

        /** Bytes the scanner received so far, in hex, once at least n of them came. */
        String rx(int n) throws IOException {
            String l = cmd("waitrx " + n + " " + WAIT_S * 1000);
            return l.substring(l.indexOf("RX ") + 3).trim();
        }

        @Override public void close() throws IOException {
            try {
                cmd("quit");
            } catch (IOException ignored) {
                // already gone
            }
            try {
                if (!p.waitFor(WAIT_S, TimeUnit.SECONDS)) p.destroy();
            } catch (InterruptedException e) {
                p.destroy();
                Thread.currentThread().interrupt();
            }
        }
    }

    static final String CLAIM = "7E00000431333331FB";
    static final String RELEASE = "7E00000431333330FA";

    /** Scans through the listener with device type 3: label, data and type per symbology. */
    static void sim(String exe, String link, int port) throws Exception {
        try (Sim sim = new Sim(exe, link, 3, "auto");
             ScannerSession s = ScannerSession.builder().deviceType(3).serial(port)
                     .pollInterval(5, TimeUnit.MILLISECONDS).open()) {
            check("claim frame sent first: " + sim.rx(9), sim.rx(9).startsWith(CLAIM));
            eq("Claimed", 1, s.getNumber(PIDX_Claimed));
            eq("DeviceEnabled", 1, s.getNumber(PIDX_DeviceEnabled));
            eq("DecodeData", 1, s.getNumber(PIDXScan_DecodeData));
            eq("State", OPOS_S_IDLE, s.getNumber(PIDX_State));

            // symbology, label, version, type, ScanData (a version-2 record keeps its byte 2,
            // the modifier "0", in front of the label)
            Object[][] table = {
                {"upca", "012345678905", "v2", 101, "0012345678905"},
                {"ean13", "4006381333931", "v1", 104, "4006381333931"},
                {"code128", "ABC-123", "v2", 110, "0ABC-123"},
                {"qr", "https://example.com/\\x00x", "v2", 204, "0https://example.com/\u0000x"},
                {"micropdf", "MPDF", "v1", 207, "MPDF"},
                {"other", "ZZZ", "v2", 501, "0ZZZ"},
            };
            Collector col = new Collector();
            s.listen(col);
            for (Object[] r : table) {
                String reply = sim.cmd("scan " + r[0] + " " + r[1] + " " + r[2]);
                check("sim scan " + r[0] + ": " + reply, reply.startsWith("OK"));
            }
            for (Object[] r : table) {
                Object o = col.next();
                if (!(o instanceof Scan)) {
                    check(r[0] + ": scan expected, got " + o, false);
                    continue;
                }
                Scan got = (Scan) o;
                String label = ((String) r[1]).replace("\\x00", "\u0000");
                eq(r[0] + " type", r[3], got.getType());
                eq(r[0] + " label", label, got.getLabelText());
                eq(r[0] + " data", r[4], text(got.getData()));
            }
            eq("DataCount after the listener", 0, s.dataCount());
            check("no error from the listener", col.got.isEmpty());
            sim.cmd("rxclear");
        }
        // Outside the try: the session and the simulator are closed.
    }

    /** Closing the session sends the release frame and leaves the service closed. */
    static void release(String exe, String link, int port) throws Exception {
        try (Sim sim = new Sim(exe, link, 3, "auto")) {
            ScannerSession s = ScannerSession.builder().deviceType(3).serial(port).open();
            sim.rx(9);
            sim.cmd("rxclear");
            s.close();
            String rx = sim.rx(9);
            check("release frame after close: " + rx, rx.contains(RELEASE));
            // Nothing stays open: a new session opens and claims again.
            try (ScannerSession again = ScannerSession.builder().deviceType(3).serial(port).open()) {
                eq("second session claimed", 1, again.getNumber(PIDX_Claimed));
                // The service holds one scanner: a session beside it is refused.
                expectCode("session beside an open one", ResultCode.OPOS_E_ILLEGAL,
                    () -> ScannerSession.builder().deviceType(3).serial(port).open());
                eq("first session still claimed", 1, again.getNumber(PIDX_Claimed));
            }
        }
    }

    /** Claim failures become exceptions with the service's code; nothing stays open. */
    static void claimFailures(String exe, String link, int port, int badPort) throws Exception {
        try (Sim sim = new Sim(exe, link, 3, "none")) {
            expectCode("unanswered claim", ResultCode.OPOS_E_TIMEOUT,
                () -> ScannerSession.builder().deviceType(3).serial(port).open());
            check("claim frame was sent", sim.rx(9).startsWith(CLAIM));
            sim.cmd("reply nak");
            expectCode("refused claim", ResultCode.OPOS_E_FAILURE,
                () -> ScannerSession.builder().deviceType(3).serial(port).open());
            expectCode("port that cannot open", ResultCode.OPOS_E_ILLEGAL,
                () -> ScannerSession.builder().deviceType(3).serial(badPort).open());
            wrongPortReason(badPort);
            sim.cmd("reply auto");
            try (ScannerSession s = ScannerSession.builder().deviceType(3).serial(port).open()) {
                eq("claimed after the failures", 1, s.getNumber(PIDX_Claimed));
            }
        }
    }

    /**
     * The exception of a port that cannot open says why and names the port: the framework's
     * words (the path it tried) where it offers them, else the service's (the parameters).
     */
    static void wrongPortReason(int badPort) {
        try {
            ScannerSession s = ScannerSession.builder().deviceType(3).serial(badPort).open();
            s.close();
            check("wrong port opened", false);
        } catch (ScannerException e) {
            String reason = e.getReason();
            System.out.println("wrong port: " + e.getMessage());
            check("a reason is given", !reason.isEmpty());
            check("the reason names the port: " + reason,
                reason.contains("no-such-folder/com" + badPort) || reason.contains("com=" + badPort + ";"));
            String head = "ClaimDevice failed: ";
            eq("message", head + "OPOS_E_ILLEGAL (106): "
                + (reason.startsWith(head) ? reason.substring(head.length()) : reason), e.getMessage());
        }
    }

    /**
     * Issue 11's claim from a second process: while this process holds the port, another
     * one's claim fails with OPOS_E_ILLEGAL and its trace names the port as in use.
     */
    static void portInUse(String exe, String link, int port) throws Exception {
        try (Sim sim = new Sim(exe, link, 3, "auto");
             ScannerSession held = ScannerSession.builder().deviceType(3).serial(port).open()) {
            eq("this process claimed", 1, held.getNumber(PIDX_Claimed));
            check("claim frame was sent", sim.rx(9).startsWith(CLAIM));
            java.nio.file.Path dir = java.nio.file.Files.createTempDirectory("kolvex-in-use");
            java.nio.file.Path trace = dir.resolve("second.log");
            java.nio.file.Path reg = dir.resolve("second.reg");
            String base = new String(java.nio.file.Files.readAllBytes(
                java.nio.file.Paths.get(System.getenv("KOLVEX_REGISTRY"))), StandardCharsets.ISO_8859_1);
            String traceKey = "\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ScannerConfig\\JposScanner]\r\n"
                + "\"LogFileFullPath\"=\"" + trace.toString().replace("\\", "\\\\") + "\"\r\n"
                + "\"LogLevel\"=dword:00000002\r\n";
            java.nio.file.Files.write(reg, (base + traceKey).getBytes(StandardCharsets.ISO_8859_1));
            ProcessBuilder pb = new ProcessBuilder(
                java.nio.file.Paths.get(System.getProperty("java.home"), "bin", "java").toString(),
                "-Xcheck:jni", "-Djava.library.path=" + System.getProperty("java.library.path"),
                "-cp", System.getProperty("java.class.path"), ApiTest.class.getName(),
                "claim-held", String.valueOf(port));
            pb.environment().put("KOLVEX_REGISTRY", reg.toString());
            pb.redirectErrorStream(true);
            Process child = pb.start();
            BufferedReader r = new BufferedReader(new InputStreamReader(child.getInputStream(), StandardCharsets.ISO_8859_1));
            for (String l = r.readLine(); l != null; l = r.readLine()) System.out.println("second process: " + l);
            check("second process ended", child.waitFor(WAIT_S, TimeUnit.SECONDS));
            eq("second process's checks", 0, child.exitValue());
            boolean named = false;
            for (String l : java.nio.file.Files.readAllLines(trace, StandardCharsets.ISO_8859_1)) {
                if (l.contains("tvx_open reason:") && l.toLowerCase(java.util.Locale.ROOT).contains("in use")) named = true;
            }
            check("the second process's trace names the port as in use", named);
            eq("still claimed here", 1, held.getNumber(PIDX_Claimed));
        }
    }

    /** The second process of portInUse: its claim of the held port must fail. */
    static void claimHeld(int port) {
        try {
            ScannerSession s = ScannerSession.builder().deviceType(3).serial(port).open();
            s.close();
            check("claimed a port another process holds", false);
        } catch (ScannerException e) {
            System.out.println("claim of the held port: " + e.getMessage());
            eq("result code", ResultCode.OPOS_E_ILLEGAL, e.getResultCode());
            check("reason says in use: " + e.getReason(),
                e.getReason().toLowerCase(java.util.Locale.ROOT).contains("in use"));
        }
    }

    public static void main(String[] args) throws Exception {
        String scenario = args.length > 0 ? args[0] : "";
        switch (scenario) {
            case "names": names(); break;
            case "fake": fake(); break;
            case "sim": sim(args[1], args[2], Integer.parseInt(args[3])); break;
            case "release": release(args[1], args[2], Integer.parseInt(args[3])); break;
            case "port-in-use": portInUse(args[1], args[2], Integer.parseInt(args[3])); break;
            case "claim-held": claimHeld(Integer.parseInt(args[1])); break;
            case "claim-failures":
                claimFailures(args[1], args[2], Integer.parseInt(args[3]), Integer.parseInt(args[4]));
                break;
            default:
                System.out.println("FAIL unknown scenario " + Arrays.toString(args));
                failures++;
        }
        System.out.println(failures == 0 ? "PASS " + scenario : failures + " failures in " + scenario);
        System.exit(failures == 0 ? 0 : 1);
    }
}
