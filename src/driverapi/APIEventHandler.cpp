#include "APIEventHandler.h"

APIEventHandler::APIEventHandler()
    : QObject(nullptr)
{
}

bool APIEventHandler::handleDisconnection(int)
{
    return true;
}

bool APIEventHandler::handleOemBtnPressed(int)
{
    return true;
}

bool APIEventHandler::handleBrivaraDriverExit()
{
    return true;
}

bool APIEventHandler::handleMenuItemClicked(int)
{
    return true;
}
