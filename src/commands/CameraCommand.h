#pragma once

class CommandHandler;

// One piece of work for the dispatch thread: a handler and at most one
// argument. Commands live on the heap; the queue owns them until the dispatch
// thread takes one, executes it and deletes it.
class CameraCommand
{
public:
    virtual ~CameraCommand() = default;
    // Calls the command's one handler operation; does nothing without a handler.
    virtual void execute() = 0;
};

class APIDisconnectCommand final : public CameraCommand
{
public:
    APIDisconnectCommand(CommandHandler *handler, int reason);
    void execute() override;

private:
    CommandHandler *handler;
    const int reason;
};

class OemButtonCommand final : public CameraCommand
{
public:
    OemButtonCommand(CommandHandler *handler, int oemBtnId);
    void execute() override;

private:
    CommandHandler *handler;
    const int oemBtnId;
};

class AddBVDOCCAMConfigureMenuItemCommand final : public CameraCommand
{
public:
    explicit AddBVDOCCAMConfigureMenuItemCommand(CommandHandler *handler);
    void execute() override;

private:
    CommandHandler *handler;
};

class ExitApplicationCommand final : public CameraCommand
{
public:
    explicit ExitApplicationCommand(CommandHandler *handler);
    void execute() override;

private:
    CommandHandler *handler;
};

class RemoveBVDOCCAMConfigureMenuItemCommand final : public CameraCommand
{
public:
    RemoveBVDOCCAMConfigureMenuItemCommand(CommandHandler *handler, int itemId);
    void execute() override;

private:
    CommandHandler *handler;
    const int itemId;
};

class BVDAPIConnectCommand final : public CameraCommand
{
public:
    explicit BVDAPIConnectCommand(CommandHandler *handler);
    void execute() override;

private:
    CommandHandler *handler;
};

class ManageDocCamApplicationCommand final : public CameraCommand
{
public:
    ManageDocCamApplicationCommand(CommandHandler *handler, bool bFlag);
    void execute() override;

private:
    CommandHandler *handler;
    const bool bFlag;
};

class AddOemIconsCommand final : public CameraCommand
{
public:
    explicit AddOemIconsCommand(CommandHandler *handler);
    void execute() override;

private:
    CommandHandler *handler;
};
