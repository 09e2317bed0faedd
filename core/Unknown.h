// The reference-counting core that the job and the protocol object share: one interlocked
// count per object, and QueryInterface that knows IUnknown alone.
#pragma once

#include "include/MovaCom.h"

#include <cstdint>

class CUnknown : public IUnknown
{
public:
    CUnknown() = default;
    CUnknown(const CUnknown&) = delete;
    CUnknown& operator=(const CUnknown&) = delete;

    HRESULT MOVA_CALL QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG MOVA_CALL AddRef() override;
    ULONG MOVA_CALL Release() override;
    virtual ~CUnknown() = default;
    // The interface for an identifier other than IUnknown's; we hand out none.
    virtual void* FindInterface(REFIID riid);

protected:
    std::int32_t m_lRefCount = 0;
};
