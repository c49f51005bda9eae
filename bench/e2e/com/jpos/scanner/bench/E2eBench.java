package com.jpos.scanner.bench;

import com.jpos.scanner.Kolvex;
import java.io.BufferedReader;
import java.io.InputStreamReader;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.net.DatagramSocket;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.nio.file.DirectoryStream;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;

/**
 * Latency from scanner-sim writing a label to DataCount reading 1 in Java, over a
 * pseudo-terminal or loopback UDP; and the CPU the whole JVM process uses while the scanner
 * is claimed and enabled and nothing is scanned.
 *
 * Usage: E2eBench latency pty|udp SIM [N [BAUD [GAPMS]]]   |   E2eBench idle SIM [SECONDS]
 * BAUD (pty): scanner-sim paces the label like a line at that rate (0: one write); GAPMS:
 * the framework's FrameGapMs ("default" or absent: not set, the default for 9600 baud). The
 * pty latency is also given beyond the frame gap, the part the framework adds on top of it.
 * KOLVEX_REGISTRY names the registry file this program writes.
 */
public final class E2eBench {
    static final int DATA_EVENT_ENABLED = 2, DEVICE_ENABLED = 3, DATA_COUNT = 12, DECODE_DATA = 10001;

    private E2eBench() {}

    static Process sim;
    static BufferedReader out;
    static Writer in;
    static String device = "";

    static void startSim(List<String> cmd) throws Exception {
        sim = new ProcessBuilder(cmd).redirectError(ProcessBuilder.Redirect.INHERIT).start();
        out = new BufferedReader(new InputStreamReader(sim.getInputStream(), StandardCharsets.ISO_8859_1));
        in = new OutputStreamWriter(sim.getOutputStream(), StandardCharsets.ISO_8859_1);
        for (String l; (l = out.readLine()) != null && !l.equals("READY");)
            if (l.startsWith("PTY ")) device = l.substring(4);
    }

    static String cmd(String line) throws Exception {
        in.write(line + "\n");
        in.flush();
        return out.readLine();
    }

    static void registry(String tavrix) throws Exception {
        Files.write(Paths.get(System.getenv("KOLVEX_REGISTRY")),
                ("Windows Registry Editor Version 5.00\r\n\r\n" + tavrix).getBytes(StandardCharsets.ISO_8859_1));
    }

    static int freePort() throws Exception {
        try (DatagramSocket d = new DatagramSocket(0)) {
            return d.getLocalPort();
        }
    }

    /** The framework's default frame gap at 9600 baud (Kolvex asks for 9600): 32 ms + 4 characters. */
    static final int DEFAULT_GAP_MS = 32 + (4 * 10 * 1000 + 9600 - 1) / 9600;

    /** Device type 2 (text labels, no acknowledgement waits) on a pty (COM5) or UDP. */
    static Kolvex open(String transport, String simPath) throws Exception {
        return open(transport, simPath, 0, null);
    }

    static Kolvex open(String transport, String simPath, int baud, Integer gapMs) throws Exception {
        if (transport.equals("pty")) {
            List<String> cmd = new java.util.ArrayList<>(List.of(simPath, "--type", "2", "--pty"));
            if (baud > 0) cmd.addAll(List.of("--baud", Integer.toString(baud)));
            startSim(cmd);
            registry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrix\\COM]\r\n\"COM5\"=\"" + device + "\"\r\n"
                    + (gapMs == null ? "" : String.format("\"FrameGapMs\"=dword:%08x\r\n", gapMs)));
        } else {
            int scanner = freePort(), host = freePort();
            startSim(List.of(simPath, "--type", "2", "--udp", "127.0.0.1:" + scanner, "127.0.0.1:" + host));
            registry("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrix\\udp]\r\n\"Local\"=\"127.0.0.1:" + host
                    + "\"\r\n\"Remote\"=\"127.0.0.1:" + scanner + "\"\r\n");
        }
        Kolvex k = new Kolvex();
        k.Open(2, transport.equals("pty") ? 1 : 2, 5, 0);
        if (k.ClaimDevice(1000) != 0) throw new IllegalStateException("ClaimDevice failed");
        k.SetPropertyNumber(DECODE_DATA, 1);
        k.SetPropertyNumber(DEVICE_ENABLED, 1);
        return k;
    }

    static void close(Kolvex k) throws Exception {
        k.ReleaseDevice();
        k.Close();
        cmd("quit");
        sim.waitFor();
    }

    static void latency(String transport, String simPath, int n, int baud, Integer gapMs) throws Exception {
        Kolvex k = open(transport, simPath, baud, gapMs);
        long[] ns = new long[n];
        for (int i = -50; i < n; i++) {  // the first 50 warm up
            String a = cmd("scan ean13 4006381333931");
            // Spin: the measurement must not add a sleep's granularity.
            while (k.GetPropertyNumber(DATA_COUNT) < 1) Thread.onSpinWait();
            long seen = System.nanoTime();
            long wrote = Long.parseLong(a.substring(a.indexOf("t=") + 2).trim());
            k.SetPropertyNumber(DATA_EVENT_ENABLED, 1);
            if (i >= 0) ns[i] = seen - wrote;
        }
        close(k);
        Arrays.sort(ns);
        System.out.printf("e2e latency %-3s label written -> DataCount 1: n=%d p50=%.1f us p99=%.1f us max=%.1f us%n",
                transport, n, ns[n / 2] / 1e3, ns[(int) (n * 0.99)] / 1e3, ns[n - 1] / 1e3);
        if (transport.equals("pty")) {
            int gap = gapMs == null ? DEFAULT_GAP_MS : gapMs;
            long g = gap * 1_000_000L;
            System.out.printf("    (%s baud, FrameGapMs %s = %d ms) beyond the gap: p50=%.1f us p99=%.1f us max=%.1f us%n",
                    baud == 0 ? "unpaced" : Integer.toString(baud), gapMs == null ? "default" : gapMs.toString(), gap,
                    (ns[n / 2] - g) / 1e3, (ns[(int) (n * 0.99)] - g) / 1e3, (ns[n - 1] - g) / 1e3);
        }
    }

    /** utime + stime of this process, in clock ticks (100 per second on Linux). */
    static long cpuTicks() throws Exception {
        String stat = new String(Files.readAllBytes(Paths.get("/proc/self/stat")), StandardCharsets.US_ASCII);
        String[] f = stat.substring(stat.lastIndexOf(')') + 2).split(" ");
        return Long.parseLong(f[11]) + Long.parseLong(f[12]);
    }

    /** Ticks of each thread of this process, by "tid name". */
    static Map<String, Long> threadTicks() throws Exception {
        Map<String, Long> m = new TreeMap<>();
        try (DirectoryStream<Path> tasks = Files.newDirectoryStream(Paths.get("/proc/self/task"))) {
            for (Path t : tasks) {
                String stat;
                try {
                    stat = new String(Files.readAllBytes(t.resolve("stat")), StandardCharsets.US_ASCII);
                } catch (java.io.IOException gone) {
                    continue;
                }
                String name = stat.substring(stat.indexOf('(') + 1, stat.lastIndexOf(')'));
                String[] f = stat.substring(stat.lastIndexOf(')') + 2).split(" ");
                m.put(t.getFileName() + " " + name, Long.parseLong(f[11]) + Long.parseLong(f[12]));
            }
        }
        return m;
    }

    static void idle(String simPath, int seconds) throws Exception {
        Map<String, Long> before0 = threadTicks();
        Kolvex k = open("pty", simPath);
        Thread.sleep(1000);  // let start-up work settle
        Map<String, Long> before = threadTicks();
        long t0 = System.nanoTime(), c0 = cpuTicks();
        Thread.sleep(seconds * 1000L);
        long c1 = cpuTicks(), t1 = System.nanoTime();
        Map<String, Long> after = threadTicks();
        close(k);
        // Threads that came with the claim (the framework's receive thread among them).
        for (Map.Entry<String, Long> e : after.entrySet()) {
            boolean isNew = !before0.containsKey(e.getKey());
            long d = e.getValue() - before.getOrDefault(e.getKey(), 0L);
            if (d > 0 || isNew)
                System.out.printf("  thread %-28s %s %d ticks%n", e.getKey(), isNew ? "(new since the claim)" : "", d);
        }
        double pct = (c1 - c0) * 10.0 /* ms per tick */ / ((t1 - t0) / 1e6) * 100.0;
        System.out.printf("e2e idle: claimed and enabled, no scans, %d s: whole JVM process %.3f%% of one core (%d ticks of 10 ms)%n",
                seconds, pct, c1 - c0);
    }

    public static void main(String[] args) throws Exception {
        if (args[0].equals("latency"))
            latency(args[1], args[2], args.length > 3 ? Integer.parseInt(args[3]) : 2000,
                    args.length > 4 ? Integer.parseInt(args[4]) : 0,
                    args.length > 5 && !args[5].equals("default") ? Integer.valueOf(args[5]) : null);
        else idle(args[1], args.length > 2 ? Integer.parseInt(args[2]) : 10);
    }
}
