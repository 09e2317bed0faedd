// The COM shapes the host-facing interfaces are built on. On Win32 they come from the system
// headers; elsewhere we declare the same values and slot layout ourselves: an interface pointer
// points at a table of functions, each taking the object as its first argument.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#include <unknwn.h>
#define MOVA_CALL __stdcall
#else
#define MOVA_CALL

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;

struct GUID
{
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using REFIID = const IID&;

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);

struct IUnknown
{
    virtual HRESULT MOVA_CALL QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG MOVA_CALL AddRef() = 0;
    virtual ULONG MOVA_CALL Release() = 0;

protected:
    // Objects are destroyed by their last Release, never through an interface pointer.
    ~IUnknown() = default;
};
#endif
