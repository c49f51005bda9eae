package com.jpos.scanner.bench;

import com.jpos.scanner.api.ScannerEvents;
import com.jpos.scanner.api.ScannerNatives;
import com.jpos.scanner.api.ScannerSession;
import java.io.BufferedReader;
import java.io.InputStreamReader;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.net.DatagramSocket;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;

/**
 * ScannerSession's listener over loopback UDP: latency from scanner-sim writing a label to the
 * listener's callback, and, with a listener running and the trace at level 5, the CPU of the
 * listener thread and of the whole JVM process and the trace bytes written while nothing is
 * scanned.
 *
 * Usage: ListenerBench latency SIM [N]   |   ListenerBench idle SIM TRACE-FILE [SECONDS]
 * KOLVEX_REGISTRY names the registry file this program writes.
 */
public final class ListenerBench {
    private ListenerBench() {}

    static Process sim;
    static BufferedReader out;
    static Writer in;

    static String cmd(String line) throws Exception {
        in.write(line + "\n");
        in.flush();
        return out.readLine();
    }

    static int freePort() throws Exception {
        try (DatagramSocket d = new DatagramSocket(0)) {
            return d.getLocalPort();
        }
    }

    /** Device type 2 over UDP, the trace as given (null: none). */
    static ScannerSession open(String simPath, String trace) throws Exception {
        int scanner = freePort(), host = freePort();
        sim = new ProcessBuilder(simPath, "--type", "2", "--udp", "127.0.0.1:" + scanner, "127.0.0.1:" + host)
                .redirectError(ProcessBuilder.Redirect.INHERIT).start();
        out = new BufferedReader(new InputStreamReader(sim.getInputStream(), StandardCharsets.ISO_8859_1));
        in = new OutputStreamWriter(sim.getOutputStream(), StandardCharsets.ISO_8859_1);
        for (String l; (l = out.readLine()) != null && !l.equals("READY");) { /* banner lines */ }
        StringBuilder reg = new StringBuilder("Windows Registry Editor Version 5.00\r\n\r\n");
        if (trace != null) {
            reg.append("[HKEY_LOCAL_MACHINE\\SOFTWARE\\ScannerConfig\\JposScanner]\r\n\"LogFileFullPath\"=\"")
               .append(trace).append("\"\r\n\"LogLevel\"=dword:00000005\r\n\r\n");
        }
        reg.append("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavrix\\udp]\r\n\"Local\"=\"127.0.0.1:").append(host)
           .append("\"\r\n\"Remote\"=\"127.0.0.1:").append(scanner).append("\"\r\n");
        Files.write(Paths.get(System.getenv("KOLVEX_REGISTRY")), reg.toString().getBytes(StandardCharsets.ISO_8859_1));
        ScannerNatives n = ScannerNatives.kolvex();
        if (!(n instanceof ScannerEvents)) System.out.println("note: natives without the event wait (polling)");
        return ScannerSession.builder().deviceType(ScannerSession.DEV_TYPE2).udp().natives(n).open();
    }

    static void closeSim() throws Exception {
        cmd("quit");
        sim.waitFor();
    }

    static void latency(String simPath, int n) throws Exception {
        BlockingQueue<Long> seen = new LinkedBlockingQueue<>();
        long[] ns = new long[n];
        try (ScannerSession s = open(simPath, null)) {
            s.listen(scan -> seen.add(System.nanoTime()));
            for (int i = -50; i < n; i++) {  // the first 50 warm up
                String a = cmd("scan ean13 4006381333931");
                Long at = seen.poll(10, TimeUnit.SECONDS);
                if (at == null) throw new IllegalStateException("no scan reached the listener");
                long wrote = Long.parseLong(a.substring(a.indexOf("t=") + 2).trim());
                if (i >= 0) ns[i] = at - wrote;
            }
        }
        closeSim();
        Arrays.sort(ns);
        System.out.printf("listener latency udp label written -> onScan: n=%d p50=%.1f us p99=%.1f us max=%.1f us%n",
                n, ns[n / 2] / 1e3, ns[(int) (n * 0.99)] / 1e3, ns[n - 1] / 1e3);
    }

    static void idle(String simPath, String trace, int seconds) throws Exception {
        Path tracePath = Paths.get(trace);
        Files.deleteIfExists(tracePath);
        try (ScannerSession s = open(simPath, trace)) {
            s.listen(scan -> { });
            Thread.sleep(1000);  // let start-up work settle
            String listener = "scanner-listen";  // the kernel's 15-character thread name
            long size0 = Files.size(tracePath);
            java.util.Map<String, Long> before = E2eBench.threadTicks();
            long t0 = System.nanoTime(), c0 = E2eBench.cpuTicks();
            Thread.sleep(seconds * 1000L);
            long c1 = E2eBench.cpuTicks(), t1 = System.nanoTime();
            java.util.Map<String, Long> after = E2eBench.threadTicks();
            long size1 = Files.size(tracePath);
            long lt = 0;
            for (java.util.Map.Entry<String, Long> e : after.entrySet())
                if (e.getKey().endsWith(" " + listener)) lt += e.getValue() - before.getOrDefault(e.getKey(), 0L);
            double pct = (c1 - c0) * 10.0 / ((t1 - t0) / 1e6) * 100.0;
            System.out.printf("listener idle %d s, trace level 5: trace bytes written %d, listener thread %d ticks of 10 ms, whole JVM %.3f%% of one core%n",
                    seconds, size1 - size0, lt, pct);
        }
        closeSim();
    }

    public static void main(String[] args) throws Exception {
        if (args[0].equals("latency")) latency(args[1], args.length > 2 ? Integer.parseInt(args[2]) : 2000);
        else idle(args[1], args[2], args.length > 3 ? Integer.parseInt(args[3]) : 10);
    }
}
