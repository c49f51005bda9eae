package com.jpos.scanner;

import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.RandomAccessFile;
import java.nio.channels.FileChannel;
import java.nio.channels.FileLock;
import java.nio.charset.StandardCharsets;
import java.nio.file.AtomicMoveNotSupportedException;
import java.nio.file.Files;
import java.nio.file.StandardCopyOption;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;

/**
 * Loads the native library behind {@link Kolvex}.
 *
 * <p>A library named Kolvex on {@code java.library.path} always wins. When there is none, the
 * set of libraries for the running JVM (Kolvex, Tavrix, Vantrel) is taken from the class path
 * (kolvex-natives.jar, under {@code com/jpos/scanner/natives/VERSION/PLATFORM/}), copied into a
 * per-user cache folder and loaded from there:
 *
 * <ul>
 *   <li>PLATFORM is {@code linux-x86_64}, {@code windows-x86} (a 32-bit JVM) or
 *       {@code windows-x86_64}, from {@code os.name}, {@code os.arch} and
 *       {@code sun.arch.data.model};
 *   <li>the cache folder is {@code ~/.cache/kolvex/natives/VERSION/PLATFORM} on Linux and
 *       {@code %LOCALAPPDATA%\Kolvex\natives\VERSION\PLATFORM} on Windows, or
 *       {@code kolvex.natives.cache/VERSION/PLATFORM} when that system property is set;
 *   <li>each file is checked against the SHA-256 listed in the jar and copied again when it
 *       differs; copies go to a temporary file that is renamed into place, under a lock file,
 *       so JVMs starting at the same time neither see half-written libraries nor undo each
 *       other's work.
 * </ul>
 *
 * Tavrix is loaded by its full path before Kolvex: on Windows the JVM's LoadLibrary does not
 * look for a DLL's dependencies in that DLL's folder, but it uses a module of the same name
 * that is already loaded. Tavrix in turn loads Vantrel from its own folder.
 */
public final class KolvexLoader {
    /** Where the natives of every version and platform live in the jar. */
    public static final String RESOURCE_ROOT = "com/jpos/scanner/natives";

    /** The list of a platform's files: one line "SHA-256 file-name" per library. */
    public static final String LIST_NAME = "natives.list";

    private static final String LIBRARY = "Kolvex";
    private static final String FRAMEWORK = "Tavrix";

    private static String source;  // guarded by KolvexLoader.class

    private KolvexLoader() {}

    /**
     * Loads the library once per class loader. Throws UnsatisfiedLinkError, naming what was
     * tried, when neither java.library.path nor the class path offers a usable set.
     */
    public static synchronized void load() {
        if (source != null) return;
        try {
            System.loadLibrary(LIBRARY);
            source = "java.library.path";
            return;
        } catch (UnsatisfiedLinkError e) {
            // A library that is there but does not load is the caller's explicit choice:
            // report its failure rather than quietly using another copy.
            if (onLibraryPath(System.mapLibraryName(LIBRARY))) throw e;
            try {
                source = loadBundled();
            } catch (IOException | RuntimeException | UnsatisfiedLinkError bundled) {
                UnsatisfiedLinkError err = new UnsatisfiedLinkError(e.getMessage()
                        + "; and the bundled natives could not be used: " + bundled.getMessage());
                err.initCause(bundled);
                throw err;
            }
        }
    }

    /**
     * Where the library came from: "java.library.path", or the cache folder that the bundled
     * natives were loaded from; null before {@link #load()}.
     */
    public static synchronized String source() {
        return source;
    }

    /** The platform folder name for this JVM, or null when no natives exist for it. */
    public static String platform() {
        return platform(System.getProperty("os.name", ""), System.getProperty("os.arch", ""),
                System.getProperty("sun.arch.data.model", ""));
    }

    /** The platform folder name for the given system properties, or null. */
    public static String platform(String osName, String osArch, String dataModel) {
        String os = osName.toLowerCase(Locale.ROOT);
        String arch = osArch.toLowerCase(Locale.ROOT);
        boolean x86 = arch.equals("x86") || arch.equals("i386") || arch.equals("i486")
                || arch.equals("i586") || arch.equals("i686");
        boolean x64 = arch.equals("amd64") || arch.equals("x86_64");
        // A 32-bit JVM reports its own width in sun.arch.data.model.
        if (x64 && dataModel.equals("32")) {
            x64 = false;
            x86 = true;
        }
        if (os.startsWith("windows")) {
            if (x64) return "windows-x86_64";
            if (x86) return "windows-x86";
        } else if (os.startsWith("linux") && x64) {
            return "linux-x86_64";
        }
        return null;
    }

    /** The version of the natives this jar was built with. */
    public static String version() {
        return KolvexBuild.VERSION;
    }

    private static boolean onLibraryPath(String fileName) {
        String path = System.getProperty("java.library.path", "");
        for (String dir : path.split(File.pathSeparator)) {
            if (!dir.isEmpty() && new File(dir, fileName).isFile()) return true;
        }
        return false;
    }

    private static String loadBundled() throws IOException {
        String platform = platform();
        if (platform == null) {
            throw new IOException("no bundled natives for os.name=" + System.getProperty("os.name")
                    + " os.arch=" + System.getProperty("os.arch") + " sun.arch.data.model="
                    + System.getProperty("sun.arch.data.model"));
        }
        String prefix = RESOURCE_ROOT + "/" + version() + "/" + platform + "/";
        List<String[]> files = readList(prefix);
        File dir = new File(new File(cacheBase(), version()), platform);
        extract(prefix, files, dir);
        System.load(new File(dir, System.mapLibraryName(FRAMEWORK)).getAbsolutePath());
        System.load(new File(dir, System.mapLibraryName(LIBRARY)).getAbsolutePath());
        return dir.getAbsolutePath();
    }

    static File cacheBase() throws IOException {
        String explicit = System.getProperty("kolvex.natives.cache");
        if (explicit != null && !explicit.isEmpty()) return new File(explicit);
        String home = System.getProperty("user.home");
        boolean windows = System.getProperty("os.name", "").toLowerCase(Locale.ROOT)
                .startsWith("windows");
        if (windows) {
            String local = System.getenv("LOCALAPPDATA");
            File base = local != null && !local.isEmpty() ? new File(local)
                    : new File(home, "AppData" + File.separator + "Local");
            return new File(base, "Kolvex" + File.separator + "natives");
        }
        if (home == null || home.isEmpty()) throw new IOException("user.home is not set");
        return new File(home, ".cache" + File.separator + "kolvex" + File.separator + "natives");
    }

    /** The platform's list: pairs of {sha256, file name}, in the jar's order. */
    private static List<String[]> readList(String prefix) throws IOException {
        byte[] bytes;
        try (InputStream in = resource(prefix + LIST_NAME)) {
            bytes = readAll(in);
        }
        List<String[]> files = new ArrayList<>();
        for (String line : new String(bytes, StandardCharsets.UTF_8).split("\n")) {
            line = line.trim();
            if (line.isEmpty()) continue;
            String[] parts = line.split("\\s+", 2);
            if (parts.length != 2 || parts[0].length() != 64 || parts[1].contains("/")
                    || parts[1].contains("\\") || parts[1].startsWith(".")) {
                throw new IOException("malformed line in " + prefix + LIST_NAME + ": " + line);
            }
            files.add(parts);
        }
        if (files.isEmpty()) throw new IOException(prefix + LIST_NAME + " lists no files");
        return files;
    }

    private static InputStream resource(String name) throws IOException {
        InputStream in = KolvexLoader.class.getResourceAsStream("/" + name);
        if (in == null) {
            throw new IOException(name + " is not on the class path (add kolvex-natives.jar"
                    + " of version " + version() + ", or the library folder to"
                    + " java.library.path)");
        }
        return in;
    }

    private static void extract(String prefix, List<String[]> files, File dir) throws IOException {
        if (!dir.isDirectory() && !dir.mkdirs() && !dir.isDirectory()) {
            throw new IOException("cannot create " + dir);
        }
        try (RandomAccessFile lockFile = new RandomAccessFile(new File(dir, ".lock"), "rw");
                FileChannel channel = lockFile.getChannel();
                FileLock lock = channel.lock()) {
            if (!lock.isValid()) throw new IOException("lost the lock on " + dir);
            for (String[] f : files) {
                File target = new File(dir, f[1]);
                if (target.isFile() && f[0].equals(sha256(target))) continue;
                copyInto(prefix + f[1], f[0], target);
            }
        }
    }

    /** Copies the resource to a temporary file beside target, checks it, renames it over. */
    private static void copyInto(String name, String sha256, File target) throws IOException {
        File tmp = File.createTempFile(target.getName() + ".", ".tmp", target.getParentFile());
        try {
            MessageDigest md = sha256Digest();
            try (InputStream in = resource(name); OutputStream out = new FileOutputStream(tmp)) {
                byte[] buf = new byte[65536];
                for (int n; (n = in.read(buf)) > 0;) {
                    md.update(buf, 0, n);
                    out.write(buf, 0, n);
                }
            }
            String got = hex(md.digest());
            if (!got.equals(sha256)) {
                throw new IOException(name + " in the jar is damaged: SHA-256 " + got
                        + ", listed " + sha256);
            }
            try {
                Files.move(tmp.toPath(), target.toPath(), StandardCopyOption.ATOMIC_MOVE,
                        StandardCopyOption.REPLACE_EXISTING);
            } catch (AtomicMoveNotSupportedException e) {
                Files.move(tmp.toPath(), target.toPath(), StandardCopyOption.REPLACE_EXISTING);
            }
        } finally {
            if (tmp.exists() && !tmp.delete()) tmp.deleteOnExit();
        }
    }

    static String sha256(File file) throws IOException {
        MessageDigest md = sha256Digest();
        try (InputStream in = new FileInputStream(file)) {
            byte[] buf = new byte[65536];
            for (int n; (n = in.read(buf)) > 0;) md.update(buf, 0, n);
        }
        return hex(md.digest());
    }

    private static MessageDigest sha256Digest() throws IOException {
        try {
            return MessageDigest.getInstance("SHA-256");
        } catch (NoSuchAlgorithmException e) {
            throw new IOException("no SHA-256 in this JVM", e);
        }
    }

    private static byte[] readAll(InputStream in) throws IOException {
        java.io.ByteArrayOutputStream out = new java.io.ByteArrayOutputStream();
        byte[] buf = new byte[4096];
        for (int n; (n = in.read(buf)) > 0;) out.write(buf, 0, n);
        return out.toByteArray();
    }

    private static String hex(byte[] bytes) {
        StringBuilder s = new StringBuilder(bytes.length * 2);
        for (byte b : bytes) s.append(String.format("%02x", b & 0xFF));
        return s.toString();
    }
}
