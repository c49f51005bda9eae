package com.jpos.scanner.javapos.tests;

import static com.jpos.scanner.javapos.tests.Check.check;
import static com.jpos.scanner.javapos.tests.Check.eq;

import com.jpos.scanner.javapos.KolvexServiceFactory;
import java.io.FileInputStream;
import java.io.InputStream;
import java.io.StringReader;
import java.util.Properties;
import java.util.Set;
import java.util.TreeSet;
import javax.xml.parsers.DocumentBuilder;
import javax.xml.parsers.DocumentBuilderFactory;
import jpos.loader.JposServiceInstance;
import jpos.loader.JposServiceInstanceFactory;
import jpos.services.BaseService;
import org.w3c.dom.Element;
import org.w3c.dom.NodeList;
import org.xml.sax.InputSource;

/**
 * The sample jpos.xml and jpos.properties as installed: each entry is well formed as the
 * config loader reads it (creation, vendor, jpos, product, at least one prop), names our
 * factory, and the factory accepts its properties; serial, UDP and HID are all there.
 *
 * Usage: SampleConfig JPOS-XML JPOS-PROPERTIES
 */
public final class SampleConfig {
    private SampleConfig() {}

    public static void main(String[] args) throws Exception {
        DocumentBuilderFactory dbf = DocumentBuilderFactory.newInstance();
        DocumentBuilder db = dbf.newDocumentBuilder();
        // The DTD belongs to the application's config loader; its content is not needed here.
        db.setEntityResolver((publicId, systemId) -> new InputSource(new StringReader("")));
        Element root = db.parse(args[0]).getDocumentElement();
        eq("root element", "JposEntries", root.getTagName());
        NodeList entries = root.getElementsByTagName("JposEntry");
        check("entries", entries.getLength() >= 3);
        Set<String> comms = new TreeSet<>();
        for (int i = 0; i < entries.getLength(); i++) {
            Element e = (Element) entries.item(i);
            String name = e.getAttribute("logicalName");
            check("logicalName", !name.isEmpty());
            for (String child : new String[] {"creation", "vendor", "jpos", "product"}) {
                eq(name + ": <" + child + ">", 1, e.getElementsByTagName(child).getLength());
            }
            Element creation = (Element) e.getElementsByTagName("creation").item(0);
            Element jpos = (Element) e.getElementsByTagName("jpos").item(0);
            eq(name + ": category", "Scanner", jpos.getAttribute("category"));
            eq(name + ": factoryClass", KolvexServiceFactory.class.getName(), creation.getAttribute("factoryClass"));
            String serviceClass = creation.getAttribute("serviceClass");
            check(name + ": serviceClass " + serviceClass + " loads", loads(serviceClass));
            FakeEntry entry = new FakeEntry(name);
            NodeList props = e.getElementsByTagName("prop");
            check(name + ": at least one prop", props.getLength() > 0);
            for (int k = 0; k < props.getLength(); k++) {
                Element p = (Element) props.item(k);
                String type = p.getAttribute("type").isEmpty() ? "String" : p.getAttribute("type");
                String value = p.getAttribute("value");
                entry.with(p.getAttribute("name"), type.equals("Integer") ? (Object) Integer.valueOf(value) : value);
            }
            comms.add(String.valueOf(entry.getPropertyValue("communication")));
            JposServiceInstanceFactory f = (JposServiceInstanceFactory) Class.forName(creation.getAttribute("factoryClass"))
                    .getConstructor().newInstance();
            try {
                JposServiceInstance s = f.createInstance(name, entry);
                check(name + ": a BaseService", s instanceof BaseService);
                s.deleteInstance();
            } catch (jpos.JposException x) {
                check(name + ": createInstance: " + x.getMessage(), false);
            }
        }
        eq("communications of the samples", "[hid, serial, udp]", comms.toString());

        Properties p = new Properties();
        try (InputStream in = new FileInputStream(args[1])) {
            p.load(in);
        }
        check("jpos.properties names the populator file", "jpos.xml".equals(p.getProperty("jpos.config.populatorFile")));
        check("jpos.properties names a populator class", !p.getProperty("jpos.config.regPopulatorClass", "").isEmpty());
        Check.finish();
    }

    static boolean loads(String cls) {
        try {
            Class.forName(cls, false, SampleConfig.class.getClassLoader());
            return true;
        } catch (ClassNotFoundException e) {
            return false;
        }
    }
}
