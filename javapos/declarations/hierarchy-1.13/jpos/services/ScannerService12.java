package jpos.services;

import jpos.JposException;

/** Compile-only declaration, hierarchy of 1.13 and 1.14: JposServiceInstance comes in at 1.5. */
public interface ScannerService12 extends BaseService {
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
