#pragma once

#include <QString>
#include <cstdint>

// A processor fault (access violation, division by zero, ...) turned into an exception object.
// Threads that install the translator receive faults as a thrown CSeException*; every catch
// block logs it with its own source-file name and a line number, then deletes it:
//
//     catch (CSeException* e) { e->Log("Recorder", step); e->Delete(); }
class CSeException
{
public:
    CSeException(uint32_t code, uintptr_t faultAddress);
    virtual ~CSeException();

    CSeException(const CSeException&) = delete;
    CSeException& operator=(const CSeException&) = delete;

    uint32_t GetSeCode() const { return m_code; }
    uintptr_t GetFaultAddress() const { return m_faultAddress; }

    // "Exception %s (0x%.8x) at address 0x%.8x." for a known code (true), else "Unknown exception." (false).
    bool FormatMessage(QString& text, unsigned* helpContext = nullptr) const;
    // Copies the message into buffer when it fits with its terminator; otherwise stores "" and returns false.
    bool GetErrorMessage(char16_t* buffer, unsigned capacity, unsigned* helpContext = nullptr) const;
    // Shows the message in a message box of the given type; returns the box's answer.
    int ReportError(unsigned type = 0, unsigned helpId = 0) const;
    // Writes the message to the error log under the caller's source-file name and line number.
    void Log(const char* sourceFile, int line);
    // Deletes the object outright.
    void Delete();

    // The name of a fault code ("ACCESS_VIOLATION"), or null for an unknown code.
    static const char* CodeName(uint32_t code);

    bool m_bAutoDelete = true;

private:
    uint32_t m_code;
    uintptr_t m_faultAddress;
};

// Fault codes, the same on every platform so that the log reads alike everywhere.
enum : uint32_t {
    SE_ACCESS_VIOLATION = 0xC0000005,
    SE_IN_PAGE_ERROR = 0xC0000006,
    SE_ILLEGAL_INSTRUCTION = 0xC000001D,
    SE_FLT_DIVIDE_BY_ZERO = 0xC000008E,
    SE_FLT_INEXACT_RESULT = 0xC000008F,
    SE_FLT_INVALID_OPERATION = 0xC0000090,
    SE_FLT_OVERFLOW = 0xC0000091,
    SE_FLT_UNDERFLOW = 0xC0000093,
    SE_INT_DIVIDE_BY_ZERO = 0xC0000094,
    SE_INT_OVERFLOW = 0xC0000095,
};

// The translator: throws a new CSeException holding the code and the fault address. Never returns.
[[noreturn]] void SeTranslator(uint32_t code, uintptr_t faultAddress);

// Installs (or removes) the translator for the calling thread. Faults on a thread without it take the
// default action (the process ends).
void InstallSeTranslator(bool install = true);
bool IsSeTranslatorInstalled();
