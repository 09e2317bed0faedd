// Reference counting and QueryInterface of the core both objects share.
#include "core/Unknown.h"

#include <gtest/gtest.h>

namespace
{

struct IProbe : IUnknown
{
    virtual int Value() = 0;

protected:
    ~IProbe() = default;
};

// Shaped like the library's objects: the interface first, the counting core as virtual base.
class CProbe : public IProbe, public virtual CUnknown
{
public:
    explicit CProbe(bool& bDestroyed) : m_bDestroyed(bDestroyed) {}
    ~CProbe() override { m_bDestroyed = true; }
    HRESULT MOVA_CALL QueryInterface(REFIID riid, void** ppv) override
    {
        return CUnknown::QueryInterface(riid, ppv);
    }
    ULONG MOVA_CALL AddRef() override { return CUnknown::AddRef(); }
    ULONG MOVA_CALL Release() override { return CUnknown::Release(); }
    int Value() override { return 42; }

private:
    bool& m_bDestroyed;
};

TEST(UnknownTest, IdentityIsTheCoreAndSharesTheOneCount)
{
    bool bDestroyed = false;
    IProbe* pProbe = new CProbe(bDestroyed);
    EXPECT_EQ(1u, pProbe->AddRef());

    void* pFirst = nullptr;
    void* pSecond = nullptr;
    ASSERT_EQ(S_OK, pProbe->QueryInterface(IID_IUnknown, &pFirst));
    ASSERT_EQ(S_OK, pProbe->QueryInterface(IID_IUnknown, &pSecond));
    EXPECT_EQ(pFirst, pSecond);
    EXPECT_NE(static_cast<void*>(pProbe), pFirst);

    auto* pUnknown = static_cast<IUnknown*>(pFirst);
    EXPECT_EQ(4u, pUnknown->AddRef());
    EXPECT_EQ(3u, pUnknown->Release());
    EXPECT_EQ(2u, pProbe->Release());
    EXPECT_EQ(1u, pUnknown->Release());
    EXPECT_FALSE(bDestroyed);
    EXPECT_EQ(0u, pUnknown->Release());
    EXPECT_TRUE(bDestroyed);
}

TEST(UnknownTest, EveryOtherIdentifierIsRefused)
{
    bool bDestroyed = false;
    IProbe* pProbe = new CProbe(bDestroyed);
    pProbe->AddRef();
    const IID madeUp = {0x12345678, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}};
    IID almostUnknown = IID_IUnknown;
    almostUnknown.Data4[7] = 0x47;
    for (const IID& iid : {madeUp, almostUnknown})
    {
        void* pOut = pProbe;
        EXPECT_EQ(E_NOINTERFACE, pProbe->QueryInterface(iid, &pOut));
        EXPECT_EQ(nullptr, pOut);
    }
    EXPECT_EQ(E_POINTER, pProbe->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(0u, pProbe->Release()); // the count never moved
    EXPECT_TRUE(bDestroyed);
}

} // namespace
