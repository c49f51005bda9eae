package com.jpos.scanner.javapos.tests;

import static com.jpos.scanner.javapos.tests.Check.check;
import static com.jpos.scanner.javapos.tests.Check.eq;
import static com.jpos.scanner.javapos.tests.Check.fails;
import static com.jpos.scanner.javapos.tests.Check.ok;

import com.jpos.scanner.api.ScannerEvents;
import com.jpos.scanner.api.ScannerNatives;
import com.jpos.scanner.javapos.KolvexServiceFactory;
import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import jpos.JposConst;
import jpos.JposException;
import jpos.events.DataEvent;
import jpos.services.BaseService;
import jpos.services.ScannerService12;

/**
 * End to end: the control of our own, the JavaPOS service from the factory, the real
 * libKolvex and libTavrix, and scanner-sim on a pseudo-terminal that the registry file maps to
 * COM6 (COM8 is a path that cannot open). Today's natives have no event wait, so the service
 * polls; with natives that have it, the same test runs through the wait.
 *
 * Usage: EndToEndTest SCANNER-SIM LINK DEVICE-TYPE
 */
public final class EndToEndTest {
    private EndToEndTest() {}

    /** The simulated scanner as a child process, driven through its standard input and output. */
    static final class Sim implements AutoCloseable {
        private final Process process;
        private final BufferedReader out;
        private final Writer in;

        Sim(String... cmd) throws IOException {
            process = new ProcessBuilder(cmd).redirectError(ProcessBuilder.Redirect.INHERIT).start();
            out = new BufferedReader(new InputStreamReader(process.getInputStream(), StandardCharsets.ISO_8859_1));
            in = new OutputStreamWriter(process.getOutputStream(), StandardCharsets.ISO_8859_1);
            for (String l; (l = out.readLine()) != null;) {
                if (l.equals("READY")) return;
            }
            throw new IOException("scanner-sim ended before READY");
        }

        void ok(String line) throws IOException {
            in.write(line + "\n");
            in.flush();
            String a = out.readLine();
            if (a == null || !a.startsWith("OK")) throw new IOException("scanner-sim: " + line + " -> " + a);
        }

        @Override
        public void close() throws IOException {
            try {
                in.write("quit\n");
                in.flush();
            } catch (IOException gone) {
                // already ended
            }
            try {
                process.waitFor();
            } catch (InterruptedException e) {
                process.destroy();
                Thread.currentThread().interrupt();
            }
        }
    }

    /** A scan: the simulator's command, and the label and type the service must deliver. */
    static final class Scan {
        final String command, label;
        final int type;

        Scan(String command, String label, int type) {
            this.command = command;
            this.label = label;
            this.type = type;
        }
    }

    static List<Scan> scansFor(int devType) {
        if (devType == 3) {
            return Arrays.asList(new Scan("scan code128 ABC-128 v1", "ABC-128", 110),
                    new Scan("scan qr QR\\x00CODE v2 mod=5D", "QR\0CODE", 204),
                    new Scan("scan ean13+s 590123412345712 v1", "590123412345712", 119));
        }
        return Arrays.asList(new Scan("scan ean13 4006381333931", "4006381333931", 104),
                new Scan("scan code39 CODE-39", "CODE-39", 108),
                new Scan("scan qr https://example.com/q", "https://example.com/q", 204));
    }

    static FakeEntry entry(String name, int devType, int port) {
        return new FakeEntry(name).with("deviceType", devType).with("communication", "serial").with("port", port);
    }

    static boolean waitDataCount(ScannerService12 s, int n) throws Exception {
        long end = System.nanoTime() + ServiceTest.WAIT_S * 1_000_000_000L;
        while (System.nanoTime() < end) {
            if (s.getDataCount() >= n) return true;
            Thread.sleep(2);
        }
        return false;
    }

    static void expectScan(FakeControl c, Scan s) throws InterruptedException {
        FakeControl.Received r = ServiceTest.next(c, s.command);
        if (r == null) return;
        check(s.command + ": DataEvent", r.event instanceof DataEvent);
        eq(s.command + ": as the listener saw it", s.label + "|" + s.type + "|DEE=false", r.seen);
        check(s.command + ": on the service's thread", r.thread.getName().startsWith("kolvex-javapos-events"));
    }

    public static void main(String[] args) throws Exception {
        String simPath = args[0], link = args[1];
        int devType = Integer.parseInt(args[2]);
        KolvexServiceFactory f = new KolvexServiceFactory();

        // A port that cannot open: the natives' 106, at once with time-out 0, retried within 300 ms.
        FakeControl bad = new FakeControl();
        ok("open COM8", () -> bad.open("Com8", entry("Com8", devType, 8), f));
        if (bad.service() != null) {
            fails("claim(0) on COM8", JposConst.JPOS_E_ILLEGAL, "claim failed: JPOS_E_ILLEGAL (106)", () -> bad.service().claim(0));
            JposException e = fails("claim(300) on COM8", JposConst.JPOS_E_ILLEGAL, "attempts", () -> bad.service().claim(300));
            if (e != null) System.out.println("claim(300) on COM8: " + e.getMessage());
            ok("close COM8", bad::close);
        }

        String reply = devType == 2 || devType == 4 ? "none" : "auto";
        try (Sim sim = new Sim(simPath, "--type", String.valueOf(devType), "--pty", "--link", link, "--reply", reply)) {
            FakeControl c = new FakeControl();
            eq("version on the 1.15 declarations", 1015000, c.open("Scanner", entry("Scanner", devType, 6), f));
            BaseService s = c.service();
            ScannerService12 s12 = c.s12;
            if (s == null) return;
            FakeControl second = new FakeControl();
            fails("a second service in the process", JposConst.JPOS_E_ILLEGAL, "one scanner per process",
                    () -> second.open("Second", entry("Second", devType, 6), f));
            // Natives without the event wait and connection state (an older library): the
            // service polls and reports no power. With them it waits and reports power.
            boolean events = ScannerNatives.kolvex() instanceof ScannerEvents;
            System.out.println("natives " + (events ? "with" : "without") + " the event wait; CapPowerReporting "
                    + c.s13.getCapPowerReporting());
            if (!events) {
                eq("CapPowerReporting without status", JposConst.JPOS_PR_NONE, c.s13.getCapPowerReporting());
            } else {
                eq("CapPowerReporting with status", JposConst.JPOS_PR_STANDARD, c.s13.getCapPowerReporting());
            }

            ok("claim", () -> s.claim(5000));
            ok("DecodeData", () -> s12.setDecodeData(true));
            ok("enable", () -> s.setDeviceEnabled(true));
            eq("DeviceEnabled", true, s.getDeviceEnabled());
            ok("checkHealth", () -> s.checkHealth(JposConst.JPOS_CH_INTERNAL));
            eq("CheckHealthText", "Internal HCheck: Successful (Check Complete" + (events ? ", online)" : ")"),
                    s.getCheckHealthText());

            // One scan at a time; the listener re-enables DataEventEnabled.
            c.onData = e -> {
                String seen;
                try {
                    seen = new String(s12.getScanDataLabel(), StandardCharsets.ISO_8859_1) + "|" + s12.getScanDataType()
                            + "|DEE=" + s12.getDataEventEnabled();
                    s12.setDataEventEnabled(true);
                } catch (JposException x) {
                    seen = x.toString();
                }
                return seen;
            };
            ok("setDataEventEnabled", () -> s12.setDataEventEnabled(true));
            for (Scan x : scansFor(devType)) {
                sim.ok(x.command);
                expectScan(c, x);
            }

            // Two queued while DataEventEnabled is off come out in order.
            ok("DataEventEnabled off", () -> s12.setDataEventEnabled(false));
            List<Scan> two = scansFor(devType).subList(0, 2);
            for (int i = 0; i < two.size(); i++) {
                sim.ok(two.get(i).command);
                check("queued " + i, waitDataCount(s12, i + 1));
            }
            ServiceTest.quiet(c, "DataEventEnabled off");
            ok("DataEventEnabled on", () -> s12.setDataEventEnabled(true));
            for (Scan x : two) expectScan(c, x);

            // FreezeEvents holds the event; unfreezing delivers it.
            ok("freeze", () -> s.setFreezeEvents(true));
            Scan x = scansFor(devType).get(2);
            sim.ok(x.command);
            check("queued while frozen", waitDataCount(s12, 1));
            ServiceTest.quiet(c, "frozen");
            ok("unfreeze", () -> s.setFreezeEvents(false));
            expectScan(c, x);

            // AutoDisable: the natives disable the device when the scan is queued.
            ok("AutoDisable", () -> s12.setAutoDisable(true));
            x = scansFor(devType).get(0);
            sim.ok(x.command);
            expectScan(c, x);
            eq("DeviceEnabled after an AutoDisable scan", false, s.getDeviceEnabled());
            ok("AutoDisable off", () -> s12.setAutoDisable(false));
            ok("enable again", () -> s.setDeviceEnabled(true));

            // Close with scans pending: nothing is delivered after close.
            ok("DataEventEnabled off", () -> s12.setDataEventEnabled(false));
            List<Scan> pending = new ArrayList<>(scansFor(devType).subList(0, 2));
            for (int i = 0; i < pending.size(); i++) {
                sim.ok(pending.get(i).command);
                check("pending " + i, waitDataCount(s12, i + 1));
            }
            ok("close with two pending", c::close);
            eq("State after close", JposConst.JPOS_S_CLOSED, s.getState());
            ServiceTest.quiet(c, "after close");

            // The process may open the scanner again.
            FakeControl again = new FakeControl();
            ok("open again", () -> again.open("Again", entry("Again", devType, 6), f));
            if (again.service() != null) {
                ok("claim again", () -> again.service().claim(5000));
                ok("release", () -> again.service().release());
                eq("DeviceEnabled after release", false, again.service().getDeviceEnabled());
                ok("close again", again::close);
            }
        }
        Check.finish();
    }
}
