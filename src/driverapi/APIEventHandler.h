#pragma once

#include <QObject>

// Receives what the driver's API reports. The client calls these on its
// receive thread: an implementation must be safe to call from there, must
// return quickly, and must not make requests of the client from it.
class APIEventHandler : public QObject
{
    Q_OBJECT

public:
    APIEventHandler();

    virtual bool handleDisconnection(int disconnectionReason);
    virtual bool handleOemBtnPressed(int oemBtnId);
    virtual bool handleBrivaraDriverExit();
    virtual bool handleMenuItemClicked(int itemId);
};
