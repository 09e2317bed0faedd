// The master as a Windows service. "install" registers a service per board
// (korix-dpmaster-<board>, started with the system) whose command line is "service run" and
// the master's options, the bus file made absolute; "remove" stops and deletes it; "run" is
// what the service control manager starts: it hands the process to the manager and runs the
// master in the service's main function. A service has no console: its lines go to a log
// file beside the bus file (the bus file's name with ".log" added). The manager's stop and the
// system's shutdown end the master as Ctrl-C does, the board left offline.
#include "tools/dpmaster/Service.h"

#include "tools/common/CommandLine.h"
#include "tools/dpmaster/Options.h"
#include "tools/dpmaster/SystemEnd.h"

#include "platform/win32/WindowsHeaders.h"

#include <cstdio>
#include <string>
#include <vector>

namespace dpmaster
{

namespace
{

constexpr const char* kPrefix = "korix-dpmaster: ";
// The manager waits this long for a start or a stop before it gives up on the service.
constexpr DWORD kPendingHintMs = 10000;

std::string ServiceName(unsigned uBoard)
{
    return "korix-dpmaster-" + std::to_string(uBoard);
}

std::string SystemMessage(DWORD dwError)
{
    char szText[256] = {};
    DWORD dwLength = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, dwError, 0, szText, sizeof szText, nullptr);
    while (dwLength > 0 && (szText[dwLength - 1] == '\n' || szText[dwLength - 1] == '\r' ||
                            szText[dwLength - 1] == '.'))
        szText[--dwLength] = '\0';
    return dwLength == 0 ? "error " + std::to_string(dwError) : std::string(szText);
}

int Failed(const std::string& strWhat)
{
    std::fprintf(stderr, "%s%s: %s\n", kPrefix, strWhat.c_str(),
                 SystemMessage(GetLastError()).c_str());
    return tools::ExitFailed;
}

// One argument as CommandLineToArgvW and the C runtime split it again.
std::string Quoted(const std::string& strArgument)
{
    if (!strArgument.empty() && strArgument.find_first_of(" \t\"") == std::string::npos)
        return strArgument;
    std::string strQuoted = "\"";
    std::size_t nBackslashes = 0;
    for (char ch : strArgument)
    {
        if (ch == '\\')
        {
            ++nBackslashes;
            continue;
        }
        strQuoted.append(ch == '"' ? nBackslashes * 2 + 1 : nBackslashes, '\\');
        nBackslashes = 0;
        strQuoted += ch;
    }
    strQuoted.append(nBackslashes * 2, '\\');
    return strQuoted + "\"";
}

std::string FullPath(const std::string& strPath)
{
    char szFull[MAX_PATH * 2];
    const DWORD dwLength = GetFullPathNameA(strPath.c_str(), sizeof szFull, szFull, nullptr);
    return dwLength == 0 || dwLength >= sizeof szFull ? strPath : std::string(szFull, dwLength);
}

// The master's own command line from "korix-dpmaster service VERB options...".
std::vector<char*> MasterArguments(int argc, char** argv)
{
    std::vector<char*> arguments;
    arguments.push_back(argv[0]);
    for (int i = 3; i < argc; ++i)
        arguments.push_back(argv[i]);
    return arguments;
}

int Install(int argc, char** argv)
{
    std::vector<char*> arguments = MasterArguments(argc, argv);
    SOptions options;
    if (std::optional<int> nDone =
            ParseOptions(static_cast<int>(arguments.size()), arguments.data(), options))
        return *nDone;
    char szProgram[MAX_PATH * 2];
    const DWORD dwLength = GetModuleFileNameA(nullptr, szProgram, sizeof szProgram);
    if (dwLength == 0 || dwLength >= sizeof szProgram)
        return Failed("the program's own path");
    // The manager starts the service in the system folder: every path must be absolute.
    std::string strCommand = Quoted(szProgram) + " service run";
    for (std::size_t i = 1; i < arguments.size(); ++i)
    {
        const std::string strArgument = arguments[i];
        const bool bBus = i > 1 && std::string(arguments[i - 1]) == "--bus";
        if (strArgument.rfind("--bus=", 0) == 0)
            strCommand += " " + Quoted("--bus=" + FullPath(strArgument.substr(6)));
        else
            strCommand += " " + Quoted(bBus ? FullPath(strArgument) : strArgument);
    }
    SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (hManager == nullptr)
        return Failed("the service control manager (as an administrator?)");
    const std::string strName = ServiceName(options.uBoard);
    const std::string strDisplay = "korix-dpmaster: the DP bus of board " +
                                   std::to_string(options.uBoard) + " on " + options.strPort;
    SC_HANDLE hService =
        CreateServiceA(hManager, strName.c_str(), strDisplay.c_str(), SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                       strCommand.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (hService == nullptr)
    {
        const int nExit = Failed("registering the service " + strName);
        CloseServiceHandle(hManager);
        return nExit;
    }
    std::printf("%sservice %s registered, started with the system: %s\n", kPrefix, strName.c_str(),
                strCommand.c_str());
    CloseServiceHandle(hService);
    CloseServiceHandle(hManager);
    return tools::ExitOk;
}

int Remove(int argc, char** argv)
{
    unsigned uBoard = 0;
    if (argc != 5 || std::string(argv[3]) != "--board" ||
        std::sscanf(argv[4], "%u", &uBoard) != 1 || uBoard < 1 || uBoard > 255)
    {
        std::fprintf(stderr, "%susage: korix-dpmaster service remove --board N\n", kPrefix);
        return tools::ExitUsage;
    }
    SC_HANDLE hManager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (hManager == nullptr)
        return Failed("the service control manager (as an administrator?)");
    const std::string strName = ServiceName(uBoard);
    SC_HANDLE hService =
        OpenServiceA(hManager, strName.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
    if (hService == nullptr)
    {
        const int nExit = Failed("the service " + strName);
        CloseServiceHandle(hManager);
        return nExit;
    }
    SERVICE_STATUS status = {};
    ControlService(hService, SERVICE_CONTROL_STOP, &status);
    const bool bDeleted = DeleteService(hService) != FALSE;
    const int nExit = bDeleted ? tools::ExitOk : Failed("deleting the service " + strName);
    if (bDeleted)
        std::printf("%sservice %s removed\n", kPrefix, strName.c_str());
    CloseServiceHandle(hService);
    CloseServiceHandle(hManager);
    return nExit;
}

// What the service's main function needs; one service per process.
struct SServiceRun
{
    const std::function<int(int, char**)>* pRunMaster = nullptr;
    std::vector<char*> arguments;
    SERVICE_STATUS_HANDLE hStatus = nullptr;
    SERVICE_STATUS status = {};
};

SServiceRun g_run;

void Report(DWORD dwState, DWORD dwExitCode = NO_ERROR)
{
    g_run.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_run.status.dwCurrentState = dwState;
    g_run.status.dwControlsAccepted =
        dwState == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    g_run.status.dwWin32ExitCode = dwExitCode == NO_ERROR ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    g_run.status.dwServiceSpecificExitCode = dwExitCode;
    g_run.status.dwWaitHint =
        dwState == SERVICE_START_PENDING || dwState == SERVICE_STOP_PENDING ? kPendingHintMs : 0;
    if (g_run.hStatus != nullptr)
        SetServiceStatus(g_run.hStatus, &g_run.status);
}

DWORD WINAPI OnControl(DWORD dwControl, DWORD, void*, void*)
{
    switch (dwControl)
    {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        CSystemEnd::Request();
        Report(SERVICE_STOP_PENDING);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

// The service's lines go to "<bus file>.log", appended; without one they are dropped.
void SendLinesToLog(const SOptions& options)
{
    const std::string strLog = FullPath(options.strBus) + ".log";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE hLog = CreateFileA(strLog.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hLog == INVALID_HANDLE_VALUE)
        return;
    SetFilePointer(hLog, 0, nullptr, FILE_END);
    SetStdHandle(STD_OUTPUT_HANDLE, hLog);
    SetStdHandle(STD_ERROR_HANDLE, hLog);
}

void WINAPI ServiceMain(DWORD, char**)
{
    g_run.hStatus = RegisterServiceCtrlHandlerExA("", &OnControl, nullptr);
    Report(SERVICE_START_PENDING);
    SOptions options;
    const bool bParsed =
        !ParseOptions(static_cast<int>(g_run.arguments.size()), g_run.arguments.data(), options)
             .has_value();
    if (bParsed)
        SendLinesToLog(options);
    Report(SERVICE_RUNNING);
    const int nExit = bParsed ? (*g_run.pRunMaster)(static_cast<int>(g_run.arguments.size()),
                                                    g_run.arguments.data())
                              : tools::ExitUsage;
    Report(SERVICE_STOPPED, static_cast<DWORD>(nExit));
}

int RunAsService(int argc, char** argv, const std::function<int(int, char**)>& runMaster)
{
    g_run.pRunMaster = &runMaster;
    g_run.arguments = MasterArguments(argc, argv);
    // The master knows it is a service: a user's logging off must not end it.
    static char szService[] = "--service";
    g_run.arguments.push_back(szService);
    char szName[] = "";
    SERVICE_TABLE_ENTRYA table[] = {{szName, &ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherA(table))
    {
        if (GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT)
        {
            std::fprintf(stderr,
                         "%s\"service run\" is started by the service control manager; to "
                         "run the master here, leave out \"service run\"\n",
                         kPrefix);
            return tools::ExitUsage;
        }
        return Failed("handing the process to the service control manager");
    }
    return static_cast<int>(g_run.status.dwServiceSpecificExitCode);
}

} // namespace

int RunServiceCommand(int argc, char** argv, const std::function<int(int, char**)>& runMaster)
{
    const std::string strVerb = argc >= 3 ? argv[2] : "";
    if (strVerb == "install")
        return Install(argc, argv);
    if (strVerb == "remove")
        return Remove(argc, argv);
    if (strVerb == "run")
        return RunAsService(argc, argv, runMaster);
    std::fprintf(stderr,
                 "%susage: korix-dpmaster service install --board N --port COMn --bus FILE "
                 "[options]\n"
                 "       korix-dpmaster service remove --board N\n",
                 kPrefix);
    return tools::ExitUsage;
}

} // namespace dpmaster
