package com.jpos.scanner.javapos;

import jpos.loader.JposServiceInstance;
import jpos.services.ScannerService115;

/**
 * The Scanner service at level 1.15, for an application whose JavaPOS jar has
 * ScannerService115. All behaviour is in {@link KolvexScannerService}.
 */
public final class KolvexScannerService115 extends KolvexScannerService
        implements ScannerService115, JposServiceInstance {
    KolvexScannerService115(ServiceConfig config) {
        super(ServiceLevel.V1_15, config);
    }
}
