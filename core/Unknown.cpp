#include "core/Unknown.h"

#include "platform/Interlocked.h"

#include <cstring>

HRESULT MOVA_CALL CUnknown::QueryInterface(REFIID riid, void** ppvObject)
{
    // A host that passes no place for the answer gets an error, not a crash.
    if (!ppvObject)
        return E_POINTER;
    if (std::memcmp(&riid, &IID_IUnknown, sizeof(IID)) == 0)
    {
        *ppvObject = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    void* pInterface = FindInterface(riid);
    *ppvObject = pInterface;
    if (!pInterface)
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG MOVA_CALL CUnknown::AddRef()
{
    return static_cast<ULONG>(platform::AtomicIncrement(&m_lRefCount));
}

ULONG MOVA_CALL CUnknown::Release()
{
    std::int32_t lCount = platform::AtomicDecrement(&m_lRefCount);
    if (lCount == 0)
        delete this;
    return static_cast<ULONG>(lCount);
}

void* CUnknown::FindInterface(REFIID)
{
    return nullptr;
}
