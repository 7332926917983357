#include "core/SeException.h"

#include "core/ErrorLog.h"
#include "core/MessageBox.h"

#include <cinttypes>
#include <csignal>
#include <cstring>
#include <mutex>

namespace
{

struct CodeName {
    uint32_t code;
    const char* name;
};

constexpr CodeName kCodeNames[] = {
    { 0x80000001, "GUARD_PAGE" },
    { 0x80000002, "DATATYPE_MISALIGNMENT" },
    { 0x80000003, "BREAKPOINT" },
    { 0x80000004, "SINGLE_STEP" },
    { 0xC0000005, "ACCESS_VIOLATION" },
    { 0xC0000006, "IN_PAGE_ERROR" },
    { 0xC0000008, "INVALID_HANDLE" },
    { 0xC000001D, "ILLEGAL_INSTRUCTION" },
    { 0xC0000025, "NONCONTINUABLE_EXCEPTION" },
    { 0xC0000026, "INVALID_DISPOSITION" },
    { 0xC000008C, "ARRAY_BOUNDS_EXCEEDED" },
    { 0xC000008D, "FLT_DENORMAL_OPERAND" },
    { 0xC000008E, "FLT_DIVIDE_BY_ZERO" },
    { 0xC000008F, "FLT_INEXACT_RESULT" },
    { 0xC0000090, "FLT_INVALID_OPERATION" },
    { 0xC0000091, "FLT_OVERFLOW" },
    { 0xC0000092, "FLT_STACK_CHECK" },
    { 0xC0000093, "FLT_UNDERFLOW" },
    { 0xC0000094, "INT_DIVIDE_BY_ZERO" },
    { 0xC0000095, "INT_OVERFLOW" },
    { 0xC0000096, "PRIV_INSTRUCTION" },
    { 0xC00000FD, "STACK_OVERFLOW" },
};

constexpr int kFaultSignals[] = { SIGSEGV, SIGBUS, SIGFPE, SIGILL };

thread_local bool translatorInstalled = false;
struct sigaction previousActions[NSIG];
std::once_flag handlerOnce;

uint32_t CodeForSignal(int signal, int code)
{
    switch (signal) {
    case SIGBUS:
        return SE_IN_PAGE_ERROR;
    case SIGILL:
        return SE_ILLEGAL_INSTRUCTION;
    case SIGFPE:
        switch (code) {
        case FPE_INTDIV:
            return SE_INT_DIVIDE_BY_ZERO;
        case FPE_INTOVF:
            return SE_INT_OVERFLOW;
        case FPE_FLTDIV:
            return SE_FLT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF:
            return SE_FLT_OVERFLOW;
        case FPE_FLTUND:
            return SE_FLT_UNDERFLOW;
        case FPE_FLTRES:
            return SE_FLT_INEXACT_RESULT;
        case FPE_FLTSUB:
            return 0xC000008C; // subscript out of range
        default:
            return SE_FLT_INVALID_OPERATION;
        }
    default:
        return SE_ACCESS_VIOLATION;
    }
}

// Process-wide handler: on a thread with the translator the fault becomes a thrown CSeException*;
// elsewhere whatever was installed before runs, or the default action ends the process.
void FaultHandler(int signal, siginfo_t* info, void* context)
{
    if (translatorInstalled)
        SeTranslator(CodeForSignal(signal, info->si_code), reinterpret_cast<uintptr_t>(info->si_addr));

    const struct sigaction& previous = previousActions[signal];
    if ((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction) {
        previous.sa_sigaction(signal, info, context);
        return;
    }
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN && previous.sa_handler) {
        previous.sa_handler(signal);
        return;
    }
    struct sigaction fallback {
    };
    fallback.sa_handler = SIG_DFL;
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

void InstallFaultHandler()
{
    struct sigaction action {
    };
    action.sa_sigaction = FaultHandler;
    // SA_NODEFER: the handler leaves by throwing, so the signal must not stay blocked afterwards.
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int signal : kFaultSignals)
        sigaction(signal, &action, &previousActions[signal]);
}

} // namespace

CSeException::CSeException(uint32_t code, uintptr_t faultAddress)
    : m_code(code)
    , m_faultAddress(faultAddress)
{
}

CSeException::~CSeException() = default;

const char* CSeException::CodeName(uint32_t code)
{
    for (const auto& entry : kCodeNames) {
        if (entry.code == code)
            return entry.name;
    }
    return nullptr;
}

bool CSeException::FormatMessage(QString& text, unsigned* helpContext) const
{
    if (helpContext)
        *helpContext = 0;
    const char* name = CodeName(m_code);
    if (!name) {
        text = QStringLiteral("Unknown exception.");
        return false;
    }
    text = QString::asprintf(
        "Exception %s (0x%.8" PRIx32 ") at address 0x%.8" PRIxPTR ".", name, m_code, m_faultAddress);
    return true;
}

bool CSeException::GetErrorMessage(char16_t* buffer, unsigned capacity, unsigned* helpContext) const
{
    QString text;
    FormatMessage(text, helpContext);
    if (!buffer || capacity == 0)
        return false;
    if (unsigned(text.size()) < capacity) {
        std::memcpy(buffer, text.utf16(), size_t(text.size()) * sizeof(char16_t));
        buffer[text.size()] = u'\0';
        return true;
    }
    buffer[0] = u'\0';
    return false;
}

int CSeException::ReportError(unsigned type, unsigned /*helpId*/) const
{
    QString text;
    FormatMessage(text);
    return MessageBox(text, QString(), type);
}

void CSeException::Log(const char* sourceFile, int line)
{
    try {
        char16_t buffer[1000];
        GetErrorMessage(buffer, 1000);
        WriteErrorLog(sourceFile, line, QString::fromUtf16(buffer));
    } catch (CSeException* e) {
        e->ReportError(MB_OK);
        e->Delete();
    }
}

void CSeException::Delete()
{
    delete this;
}

void SeTranslator(uint32_t code, uintptr_t faultAddress)
{
    throw new CSeException(code, faultAddress);
}

void InstallSeTranslator(bool install)
{
    std::call_once(handlerOnce, InstallFaultHandler);
    translatorInstalled = install;
}

bool IsSeTranslatorInstalled()
{
    return translatorInstalled;
}
