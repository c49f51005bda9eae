package com.jpos.scanner.javapos;

import jpos.loader.JposServiceInstance;
import jpos.services.ScannerService116;

/**
 * The Scanner service at level 1.16, for an application whose JavaPOS jar has
 * ScannerService116. All behaviour is in {@link KolvexScannerService}.
 */
public final class KolvexScannerService116 extends KolvexScannerService
        implements ScannerService116, JposServiceInstance {
    KolvexScannerService116(ServiceConfig config) {
        super(ServiceLevel.V1_16, config);
    }
}
