#include "CameraCommand.h"

#include "CommandHandler.h"

// The results of the handler's bool operations are dropped here on purpose:
// a command never retries or re-queues itself.

APIDisconnectCommand::APIDisconnectCommand(CommandHandler *commandHandler, int disconnectReason)
    : handler(commandHandler), reason(disconnectReason)
{
}

void APIDisconnectCommand::execute()
{
    if (handler)
        handler->bvdApiDisconnected(reason);
}

OemButtonCommand::OemButtonCommand(CommandHandler *commandHandler, int buttonId)
    : handler(commandHandler), oemBtnId(buttonId)
{
}

void OemButtonCommand::execute()
{
    if (handler)
        handler->bvdApiOemButtonPressed(oemBtnId);
}

AddBVDOCCAMConfigureMenuItemCommand::AddBVDOCCAMConfigureMenuItemCommand(CommandHandler *commandHandler)
    : handler(commandHandler)
{
}

void AddBVDOCCAMConfigureMenuItemCommand::execute()
{
    if (handler)
        handler->addBVDOCCAMConfigurationMenuItem();
}

ExitApplicationCommand::ExitApplicationCommand(CommandHandler *commandHandler)
    : handler(commandHandler)
{
}

void ExitApplicationCommand::execute()
{
    if (handler)
        handler->shutdownApplication();
}

RemoveBVDOCCAMConfigureMenuItemCommand::RemoveBVDOCCAMConfigureMenuItemCommand(
    CommandHandler *commandHandler, int menuItemId)
    : handler(commandHandler), itemId(menuItemId)
{
}

void RemoveBVDOCCAMConfigureMenuItemCommand::execute()
{
    if (handler)
        handler->removeBVDOCCAMConfigurationMenuItem(itemId);
}

BVDAPIConnectCommand::BVDAPIConnectCommand(CommandHandler *commandHandler)
    : handler(commandHandler)
{
}

void BVDAPIConnectCommand::execute()
{
    if (handler)
        handler->checkApiConnection();
}

ManageDocCamApplicationCommand::ManageDocCamApplicationCommand(CommandHandler *commandHandler, bool flag)
    : handler(commandHandler), bFlag(flag)
{
}

void ManageDocCamApplicationCommand::execute()
{
    if (handler)
        handler->manageDocCamApplication(bFlag);
}

AddOemIconsCommand::AddOemIconsCommand(CommandHandler *commandHandler)
    : handler(commandHandler)
{
}

void AddOemIconsCommand::execute()
{
    if (handler)
        handler->addOEMIcons();
}
