package com.jpos.scanner.javapos;

import jpos.loader.JposServiceInstance;
import jpos.services.ScannerService113;

/**
 * The Scanner service at level 1.13, for an application whose JavaPOS jar has
 * ScannerService113. All behaviour is in {@link KolvexScannerService}.
 */
public final class KolvexScannerService113 extends KolvexScannerService
        implements ScannerService113, JposServiceInstance {
    KolvexScannerService113(ServiceConfig config) {
        super(ServiceLevel.V1_13, config);
    }
}
