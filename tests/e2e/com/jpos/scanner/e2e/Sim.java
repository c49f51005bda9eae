package com.jpos.scanner.e2e;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;

/** The simulated scanner as a child process, driven through its standard input and output. */
final class Sim {
    private final Process process;
    private final BufferedReader out;
    private final Writer in;
    /** The last "PTY" or "UDP" event: the pseudo-terminal's path or the bound port. */
    String device = "";

    Sim(String program, String... args) throws IOException {
        List<String> cmd = new ArrayList<>();
        cmd.add(program);
        for (String a : args) cmd.add(a);
        process = new ProcessBuilder(cmd).redirectError(ProcessBuilder.Redirect.INHERIT).start();
        out = new BufferedReader(new InputStreamReader(process.getInputStream(), StandardCharsets.ISO_8859_1));
        in = new OutputStreamWriter(process.getOutputStream(), StandardCharsets.ISO_8859_1);
        for (;;) {
            String line = out.readLine();
            if (line == null) throw new IOException("scanner-sim ended before READY");
            if (line.startsWith("PTY ") || line.startsWith("UDP ")) device = line.substring(4);
            if (line.equals("READY")) break;
        }
    }

    /** Sends one command and returns its one-line answer. */
    String cmd(String line) throws IOException {
        in.write(line + "\n");
        in.flush();
        String answer = out.readLine();
        if (answer == null) throw new IOException("scanner-sim ended");
        return answer;
    }

    /** Sends a command that must succeed. */
    void ok(String line) throws IOException {
        String a = cmd(line);
        if (!a.startsWith("OK")) throw new IOException("scanner-sim: " + line + " -> " + a);
    }

    /** Waits until the scanner has received at least n bytes; all it received, as bytes. */
    byte[] waitRx(int n) throws IOException {
        String a = cmd("waitrx " + n + " 10000");
        int at = a.indexOf("RX ");
        String hex = at < 0 ? "" : a.substring(at + 3).trim();
        byte[] b = new byte[hex.length() / 2];
        for (int i = 0; i < b.length; i++) b[i] = (byte) Integer.parseInt(hex.substring(2 * i, 2 * i + 2), 16);
        return b;
    }

    /** Ends the simulator and waits for it. */
    void close() throws IOException, InterruptedException {
        try {
            in.write("quit\n");
            in.flush();
        } catch (IOException gone) {
            // already ended
        }
        process.waitFor();
    }
}
