package com.jpos.scanner.javapos.tests;

import static com.jpos.scanner.javapos.tests.Check.check;

import java.io.BufferedReader;
import java.io.DataInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.HashSet;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.TreeSet;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

/**
 * The jpos signatures against the manifest (jpos-manifest.txt, written from the published
 * API):
 * 1. javap of our declarations of each level equals the manifest of that level: the same
 *    types, supertypes and members with their descriptors and modifiers;
 * 2. linkage: every jpos class, field and method that the compiled service references
 *    resolves in the manifest of every level on which that class of ours is loaded, and each
 *    of our service classes implements every method of the jpos interfaces it names there.
 *
 * Usage: ManifestCheck MANIFEST JAVAP SERVICE-JAR LEVEL=DECLARATION-JAR...
 */
public final class ManifestCheck {
    private ManifestCheck() {}

    static final Set<String> MODIFIERS = new HashSet<>(Arrays.asList("public", "protected", "private",
            "static", "final", "abstract", "synchronized", "native", "transient", "volatile"));
    static final List<String> LEVELS = Arrays.asList("1.13", "1.14", "1.15", "1.16");

    /** One type: its header as javap prints it, and its members in the manifest's form. */
    static final class Type {
        final String header;
        final String name;
        final boolean isInterface;
        final List<String> supers = new ArrayList<>();
        final Set<String> members = new TreeSet<>();

        Type(String header) {
            this.header = header;
            String[] t = header.split(" ");
            int k = Arrays.asList(t).indexOf("interface");
            isInterface = k >= 0;
            if (k < 0) k = Arrays.asList(t).indexOf("class");
            name = t[k + 1];
            for (int i = k + 2; i + 1 < t.length; i += 2) {
                if (t[i].equals("extends") || t[i].equals("implements")) supers.addAll(Arrays.asList(t[i + 1].split(",")));
            }
        }
    }

    // ---- the manifest ----

    static Map<String, Map<String, Type>> readManifest(String path) throws IOException {
        Map<String, Map<String, Type>> byLevel = new LinkedHashMap<>();
        for (String l : LEVELS) byLevel.put(l, new LinkedHashMap<>());
        List<Type> current = new ArrayList<>();
        for (String raw : Files.readAllLines(Paths.get(path), StandardCharsets.UTF_8)) {
            if (raw.trim().isEmpty() || raw.startsWith("#")) continue;
            if (raw.startsWith("  ")) {
                check("manifest member before any type: " + raw, !current.isEmpty());
                for (Type t : current) t.members.add(raw.trim());
                continue;
            }
            String header = raw.trim();
            List<String> levels = LEVELS;
            int at = header.indexOf(" @");
            if (at >= 0) {
                levels = Arrays.asList(header.substring(at + 2).split(","));
                header = header.substring(0, at);
            }
            current = new ArrayList<>();
            for (String l : levels) {
                check("manifest level " + l, byLevel.containsKey(l));
                Type t = new Type(header);
                current.add(t);
                Map<String, Type> m = byLevel.get(l);
                if (m != null) check("manifest: " + t.name + " twice in " + l, m.put(t.name, t) == null);
            }
        }
        return byLevel;
    }

    // ---- javap of our declarations ----

    static List<String> classesIn(String jar) throws IOException {
        List<String> names = new ArrayList<>();
        try (ZipFile z = new ZipFile(jar)) {
            for (ZipEntry e : Collections.list(z.entries())) {
                String n = e.getName();
                if (n.endsWith(".class")) names.add(n.substring(0, n.length() - 6).replace('/', '.'));
            }
        }
        Collections.sort(names);
        return names;
    }

    static Map<String, Type> javap(String javap, String jar) throws IOException, InterruptedException {
        List<String> cmd = new ArrayList<>(Arrays.asList(javap, "-protected", "-s", "-constants", "-cp", jar));
        cmd.addAll(classesIn(jar));
        Process p = new ProcessBuilder(cmd).redirectErrorStream(true).start();
        List<String> lines = new ArrayList<>();
        try (BufferedReader r = new BufferedReader(new InputStreamReader(p.getInputStream(), StandardCharsets.UTF_8))) {
            for (String l; (l = r.readLine()) != null;) lines.add(l);
        }
        check("javap exit status", p.waitFor() == 0);
        Map<String, Type> types = new LinkedHashMap<>();
        Type t = null;
        for (int i = 0; i < lines.size(); i++) {
            String l = lines.get(i);
            if (l.startsWith("Compiled from") || l.trim().isEmpty() || l.equals("}")) continue;
            if (!l.startsWith(" ") && l.endsWith(" {")) {
                t = new Type(l.substring(0, l.length() - 2));
                types.put(t.name, t);
                continue;
            }
            if (l.trim().equals("static {};") || l.trim().startsWith("descriptor:")) continue;
            String desc = i + 1 < lines.size() ? lines.get(i + 1).trim() : "";
            check("javap: descriptor after " + l, desc.startsWith("descriptor: ") && t != null);
            if (t != null) t.members.add(member(l.trim(), desc.substring("descriptor: ".length()), t.name));
        }
        return types;
    }

    /** "public abstract boolean claim(int) throws X;" + "(I)V" to "public abstract claim (I)V throws X". */
    static String member(String sig, String descriptor, String typeName) {
        sig = sig.substring(0, sig.length() - 1);
        String thrown = "", value = "";
        int th = sig.indexOf(" throws ");
        if (th >= 0) {
            thrown = " throws " + sig.substring(th + 8);
            sig = sig.substring(0, th);
        }
        int eq = sig.indexOf(" = ");
        if (eq >= 0) {
            value = " = " + sig.substring(eq + 3);
            sig = sig.substring(0, eq);
        }
        int paren = sig.indexOf('(');
        String head = paren >= 0 ? sig.substring(0, paren) : sig;
        String[] tokens = head.split(" ");
        String name = tokens[tokens.length - 1];
        if (name.equals(typeName)) name = "<init>";
        StringBuilder mods = new StringBuilder();
        for (String tok : tokens) {
            if (MODIFIERS.contains(tok)) mods.append(tok).append(' ');
        }
        return mods + name + " " + descriptor + thrown + value;
    }

    static void compareDeclarations(String level, Map<String, Type> want, Map<String, Type> got) {
        for (String n : new TreeSet<>(want.keySet())) {
            if (!got.containsKey(n)) check(level + ": declarations lack " + n, false);
        }
        for (String n : new TreeSet<>(got.keySet())) {
            Type g = got.get(n), w = want.get(n);
            if (w == null) {
                check(level + ": declarations have " + n + ", which the manifest does not list at this level", false);
                continue;
            }
            check(level + ": " + n + " header \"" + g.header + "\", manifest \"" + w.header + "\"", g.header.equals(w.header));
            for (String m : w.members) check(level + ": " + n + " lacks " + m, g.members.contains(m));
            for (String m : g.members) check(level + ": " + n + " has " + m + ", not in the manifest", w.members.contains(m));
        }
    }

    // ---- the compiled service ----

    /** What one class file says: its name, supertypes, methods, and what it references. */
    static final class ClassFile {
        String name, superName;
        final List<String> interfaces = new ArrayList<>();
        final Set<String> methods = new HashSet<>();  // "name descriptor" of public non-abstract
        final Set<String> classRefs = new TreeSet<>();
        final Set<String> memberRefs = new TreeSet<>();  // "owner name descriptor"
    }

    static ClassFile parse(InputStream in) throws IOException {
        DataInputStream d = new DataInputStream(in);
        ClassFile cf = new ClassFile();
        check("class file magic", d.readInt() == 0xCAFEBABE);
        d.readUnsignedShort();
        int major = d.readUnsignedShort();
        check("Java 8 class file (major 52), got " + major, major == 52);
        int n = d.readUnsignedShort();
        Object[] pool = new Object[n];
        int[][] refs = new int[n][];
        int[] tags = new int[n];
        for (int i = 1; i < n; i++) {
            int tag = d.readUnsignedByte();
            tags[i] = tag;
            switch (tag) {
                case 1: pool[i] = d.readUTF(); break;
                case 3: case 4: d.readInt(); break;
                case 5: case 6: d.readLong(); i++; break;
                case 7: case 8: case 16: case 19: case 20: refs[i] = new int[] {d.readUnsignedShort()}; break;
                case 9: case 10: case 11: case 12: case 17: case 18:
                    refs[i] = new int[] {d.readUnsignedShort(), d.readUnsignedShort()};
                    break;
                case 15: d.readUnsignedByte(); d.readUnsignedShort(); break;
                default: throw new IOException("constant pool tag " + tag);
            }
        }
        for (int i = 1; i < n; i++) {
            if (tags[i] == 7) {
                String c = (String) pool[refs[i][0]];
                cf.classRefs.add(c);
            } else if (tags[i] == 9 || tags[i] == 10 || tags[i] == 11) {
                String owner = (String) pool[refs[refs[i][0]][0]];
                int[] nt = refs[refs[i][1]];
                cf.memberRefs.add(owner + " " + pool[nt[0]] + " " + pool[nt[1]]);
            } else if (tags[i] == 12) {
                addDescriptorTypes(cf.classRefs, (String) pool[refs[i][1]]);
            }
        }
        d.readUnsignedShort();
        cf.name = (String) pool[refs[d.readUnsignedShort()][0]];
        int sup = d.readUnsignedShort();
        cf.superName = sup == 0 ? null : (String) pool[refs[sup][0]];
        int ni = d.readUnsignedShort();
        for (int i = 0; i < ni; i++) cf.interfaces.add((String) pool[refs[d.readUnsignedShort()][0]]);
        for (int pass = 0; pass < 2; pass++) {  // fields, then methods
            int count = d.readUnsignedShort();
            for (int i = 0; i < count; i++) {
                int access = d.readUnsignedShort();
                String name = (String) pool[d.readUnsignedShort()];
                String desc = (String) pool[d.readUnsignedShort()];
                addDescriptorTypes(cf.classRefs, desc);
                if (pass == 1 && (access & 0x0001) != 0 && (access & 0x0400) == 0) cf.methods.add(name + " " + desc);
                int attrs = d.readUnsignedShort();
                for (int a = 0; a < attrs; a++) {
                    d.readUnsignedShort();
                    d.skipBytes(d.readInt());
                }
            }
        }
        return cf;
    }

    static void addDescriptorTypes(Set<String> out, String desc) {
        for (int i = desc.indexOf('L'); i >= 0; i = desc.indexOf('L', i + 1)) {
            int end = desc.indexOf(';', i);
            if (end < 0) break;
            String c = desc.substring(i + 1, end);
            if (c.startsWith("jpos/")) out.add(c);
            i = end;
        }
    }

    /** Whether owner.name:desc resolves at this level: in the type or a supertype. */
    static boolean resolves(Map<String, Type> level, String owner, String name, String desc, Set<String> seen) {
        if (!seen.add(owner)) return false;
        Type t = level.get(owner);
        if (t == null) {
            if (!owner.startsWith("java.")) return false;
            return jdkHas(owner, name, desc);
        }
        for (String m : t.members) {
            String[] parts = m.split(" ");
            int k = 0;
            while (MODIFIERS.contains(parts[k])) k++;
            if (parts[k].equals(name) && parts[k + 1].equals(desc)) return true;
        }
        for (String s : t.supers) {
            if (resolves(level, s, name, desc, seen)) return true;
        }
        return t.isInterface && jdkHas("java.lang.Object", name, desc);
    }

    static boolean jdkHas(String cls, String name, String desc) {
        try {
            for (Class<?> c = Class.forName(cls); c != null; c = c.getSuperclass()) {
                for (java.lang.reflect.Method m : c.getDeclaredMethods()) {
                    if (m.getName().equals(name) && descriptor(m.getParameterTypes(), m.getReturnType()).equals(desc)) return true;
                }
                for (java.lang.reflect.Constructor<?> k : c.getDeclaredConstructors()) {
                    if (name.equals("<init>") && c.getName().equals(cls)
                            && descriptor(k.getParameterTypes(), void.class).equals(desc)) return true;
                }
            }
        } catch (ClassNotFoundException e) {
            return false;
        }
        return false;
    }

    static String descriptor(Class<?>[] params, Class<?> ret) {
        StringBuilder s = new StringBuilder("(");
        for (Class<?> p : params) s.append(typeDescriptor(p));
        return s.append(')').append(typeDescriptor(ret)).toString();
    }

    static String typeDescriptor(Class<?> c) {
        if (c.isArray()) return c.getName().replace('.', '/');
        if (!c.isPrimitive()) return "L" + c.getName().replace('.', '/') + ";";
        return String.valueOf("ZBCSIJFDV".charAt(Arrays.asList(boolean.class, byte.class, char.class, short.class,
                int.class, long.class, float.class, double.class, void.class).indexOf(c)));
    }

    /** The level a class of ours needs, from its name (KolvexScannerService115: 1.15); 1.13 otherwise. */
    static String needs(String internalName) {
        String simple = internalName.substring(internalName.lastIndexOf('/') + 1);
        if (simple.matches("KolvexScannerService1\\d\\d")) return "1." + simple.substring(simple.length() - 2);
        return "1.13";
    }

    /** Problems of one class of ours at one level; empty when it links there. */
    static List<String> linkProblems(ClassFile cf, Map<String, ClassFile> ours, Map<String, Type> level) {
        List<String> out = new ArrayList<>();
        for (String c : cf.classRefs) {
            String n = c.replace('/', '.');
            if (c.startsWith("jpos/") && !level.containsKey(n)) out.add("class " + n);
        }
        for (String r : cf.memberRefs) {
            String[] p = r.split(" ");
            if (!p[0].startsWith("jpos/")) continue;
            if (!resolves(level, p[0].replace('/', '.'), p[1], p[2], new HashSet<>())) out.add("member " + r);
        }
        // Every method of every jpos interface the class names, implemented here or in a superclass.
        Set<String> have = new HashSet<>();
        for (ClassFile k = cf; k != null; k = ours.get(k.superName)) have.addAll(k.methods);
        for (String i : cf.interfaces) {
            if (!i.startsWith("jpos/")) continue;
            for (String m : interfaceMethods(level, i.replace('/', '.'), new HashSet<>())) {
                if (!have.contains(m)) out.add("unimplemented " + i + "." + m);
            }
        }
        return out;
    }

    static Set<String> interfaceMethods(Map<String, Type> level, String name, Set<String> seen) {
        Set<String> out = new TreeSet<>();
        Type t = level.get(name);
        if (t == null || !seen.add(name)) return out;
        for (String m : t.members) {
            String[] parts = m.split(" ");
            int k = 0;
            while (MODIFIERS.contains(parts[k])) k++;
            if (m.contains("abstract")) out.add(parts[k] + " " + parts[k + 1]);
        }
        for (String s : t.supers) out.addAll(interfaceMethods(level, s, seen));
        return out;
    }

    public static void main(String[] args) throws Exception {
        Map<String, Map<String, Type>> manifest = readManifest(args[0]);
        String javap = args[1];
        Map<String, String> declarations = new LinkedHashMap<>();
        for (int i = 3; i < args.length; i++) {
            String[] kv = args[i].split("=", 2);
            declarations.put(kv[0], kv[1]);
        }
        check("declarations of every level given", declarations.keySet().containsAll(LEVELS));
        for (Map.Entry<String, String> e : declarations.entrySet()) {
            compareDeclarations(e.getKey(), manifest.get(e.getKey()), javap(javap, e.getValue()));
        }

        Map<String, ClassFile> ours = new LinkedHashMap<>();
        try (ZipFile z = new ZipFile(args[2])) {
            for (ZipEntry e : Collections.list(z.entries())) {
                if (!e.getName().endsWith(".class")) continue;
                try (InputStream in = z.getInputStream(e)) {
                    ClassFile cf = parse(in);
                    ours.put(cf.name, cf);
                }
            }
        }
        check("the service jar has the base class and four levels", ours.size() >= 6);
        int checkedRefs = 0;
        for (String level : LEVELS) {
            for (ClassFile cf : ours.values()) {
                boolean loaded = LEVELS.indexOf(needs(cf.name)) <= LEVELS.indexOf(level);
                List<String> problems = linkProblems(cf, ours, manifest.get(level));
                if (loaded) {
                    for (String p : problems) check(level + ": " + cf.name + " does not link: " + p, false);
                    for (String r : cf.memberRefs) if (r.startsWith("jpos/")) checkedRefs++;
                } else {
                    // A class of a newer level must not link here; this is what the factory avoids.
                    check(level + ": " + cf.name + " would link although its interface is newer", !problems.isEmpty());
                }
            }
        }
        check("jpos members referenced by the service were checked", checkedRefs > 0);
        Check.finish();
    }
}
