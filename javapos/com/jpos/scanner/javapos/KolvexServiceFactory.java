package com.jpos.scanner.javapos;

import jpos.JposConst;
import jpos.JposException;
import jpos.config.JposEntry;
import jpos.loader.JposServiceInstance;
import jpos.loader.JposServiceInstanceFactory;

/**
 * The factory that jpos.xml names for our scanners. It picks the service class for the newest
 * ScannerService1xx interface that the application's JavaPOS jar has (capped by the entry's
 * maxServiceVersion), so that the class it loads never names an interface the jar lacks.
 * The entry's serviceClass is not needed: the level decides the class.
 */
public final class KolvexServiceFactory implements JposServiceInstanceFactory {
    public KolvexServiceFactory() {}

    @Override
    public JposServiceInstance createInstance(String logicalName, JposEntry entry) throws JposException {
        ServiceConfig cfg = ServiceConfig.fromEntry(logicalName, entry);
        ServiceLevel level = newestLevel(cfg.maxLevel, getClass().getClassLoader());
        if (level == null) {
            throw new JposException(JposConst.JPOS_E_NOSERVICE, "jpos.xml entry \"" + logicalName
                    + "\": the JavaPOS jar on the class path has none of the interfaces "
                    + "jpos.services.ScannerService113 to ScannerService116");
        }
        try {
            Class<?> c = Class.forName(level.serviceClass, true, getClass().getClassLoader());
            return (JposServiceInstance) c.getDeclaredConstructor(ServiceConfig.class).newInstance(cfg);
        } catch (ReflectiveOperationException | LinkageError | ClassCastException e) {
            throw new JposException(JposConst.JPOS_E_NOSERVICE, "jpos.xml entry \"" + logicalName
                    + "\": cannot create " + level.serviceClass + ": " + e, ServiceConfig.asException(e));
        }
    }

    /** The newest level whose jpos interface the loader finds, not above max; null if none. */
    static ServiceLevel newestLevel(ServiceLevel max, ClassLoader loader) {
        for (ServiceLevel l : ServiceLevel.values()) {
            if (max != null && l.version > max.version) continue;
            try {
                Class.forName(l.jposInterface, false, loader);
                return l;
            } catch (ClassNotFoundException | LinkageError absent) {
                // This jar predates the level; try the next older one.
            }
        }
        return null;
    }
}
