package com.jpos.scanner.javapos;

import jpos.loader.JposServiceInstance;
import jpos.services.ScannerService114;

/**
 * The Scanner service at level 1.14, for an application whose JavaPOS jar has
 * ScannerService114. All behaviour is in {@link KolvexScannerService}.
 */
public final class KolvexScannerService114 extends KolvexScannerService
        implements ScannerService114, JposServiceInstance {
    KolvexScannerService114(ServiceConfig config) {
        super(ServiceLevel.V1_14, config);
    }
}
