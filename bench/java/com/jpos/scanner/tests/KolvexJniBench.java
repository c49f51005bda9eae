package com.jpos.scanner.tests;

import com.jpos.scanner.Kolvex;

/**
 * JNI round trip from Java at trace level 0: GetPropertyNumber(12) (DataCount) and
 * GetPropertyString(1010002) (a 13-byte ScanDataLabel). Warm-up first, then timed rounds;
 * prints nanoseconds per call (best of the rounds).
 */
public final class KolvexJniBench {
    private KolvexJniBench() {}

    static volatile long sink;

    static double number(Kolvex k, int calls) {
        long t0 = System.nanoTime();
        long s = 0;
        for (int i = 0; i < calls; i++) s += k.GetPropertyNumber(12);
        long t1 = System.nanoTime();
        sink = s;
        return (t1 - t0) / (double) calls;
    }

    static double string(Kolvex k, int calls) {
        long t0 = System.nanoTime();
        long s = 0;
        for (int i = 0; i < calls; i++) s += k.GetPropertyString(1010002).length;
        long t1 = System.nanoTime();
        sink = s;
        return (t1 - t0) / (double) calls;
    }

    public static void main(String[] args) {
        Kolvex k = new Kolvex();
        Feed.reset();
        Feed.answerFrames(0x06);
        k.Open(3, 3, 0, 0);
        k.ClaimDevice(0);
        k.SetPropertyNumber(10001, 1);
        byte[] label = "4006381333931".getBytes(java.nio.charset.StandardCharsets.US_ASCII);
        byte[] packet = new byte[8 + label.length];
        packet[0] = 0x04; packet[1] = (byte) 0xFF; packet[3] = (byte) label.length; packet[4] = 0x05;
        System.arraycopy(label, 0, packet, 8, label.length);
        Feed.deliver(packet);
        k.SetPropertyNumber(2, 1);
        if (k.GetPropertyString(1010002).length != 13) throw new IllegalStateException("no label");

        final int calls = 2_000_000;
        for (int i = 0; i < 5; i++) { number(k, calls); string(k, calls); }  // warm-up
        double bestNumber = Double.MAX_VALUE, bestString = Double.MAX_VALUE;
        for (int i = 0; i < 10; i++) {
            bestNumber = Math.min(bestNumber, number(k, calls));
            bestString = Math.min(bestString, string(k, calls));
        }
        System.out.printf("GetPropertyNumber(12):      %.1f ns/call%n", bestNumber);
        System.out.printf("GetPropertyString(1010002): %.1f ns/call (13 bytes)%n", bestString);
        k.Close();
    }
}
