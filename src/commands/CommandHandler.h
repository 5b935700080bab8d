#pragma once

// The work that queued commands do. The controller is its one implementer;
// nothing is ever deleted through this interface.
class CommandHandler
{
public:
    virtual void bvdApiDisconnected(int reason) = 0;
    virtual void bvdApiOemButtonPressed(int oemBtnId) = 0;
    virtual bool addBVDOCCAMConfigurationMenuItem() = 0;
    virtual void shutdownApplication() = 0;
    virtual bool removeBVDOCCAMConfigurationMenuItem(int itemId) = 0;
    virtual void checkApiConnection() = 0;
    virtual void manageDocCamApplication(bool bFlag) = 0;
    virtual bool addOEMIcons() = 0;

protected:
    ~CommandHandler() = default;
};
