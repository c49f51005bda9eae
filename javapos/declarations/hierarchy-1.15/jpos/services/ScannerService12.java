package jpos.services;

import jpos.JposException;
import jpos.loader.JposServiceInstance;

/** Compile-only declaration, hierarchy of 1.15 and later. */
public interface ScannerService12 extends BaseService, JposServiceInstance {
    boolean getAutoDisable() throws JposException;

    void setAutoDisable(boolean autoDisable) throws JposException;

    int getDataCount() throws JposException;

    boolean getDataEventEnabled() throws JposException;

    void setDataEventEnabled(boolean dataEventEnabled) throws JposException;

    boolean getDecodeData() throws JposException;

    void setDecodeData(boolean decodeData) throws JposException;

    byte[] getScanData() throws JposException;

    byte[] getScanDataLabel() throws JposException;

    int getScanDataType() throws JposException;

    void clearInput() throws JposException;
}
