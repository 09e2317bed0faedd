// Sets an environment variable for the children a test starts, and puts the old value back.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace testsupport
{

class CScopedEnvironment
{
public:
    CScopedEnvironment(const char* pszName, const std::string& strValue) : m_strName(pszName)
    {
        if (const char* pszOld = std::getenv(pszName))
            m_oldValue = pszOld;
        setenv(pszName, strValue.c_str(), 1);
    }
    ~CScopedEnvironment()
    {
        if (m_oldValue)
            setenv(m_strName.c_str(), m_oldValue->c_str(), 1);
        else
            unsetenv(m_strName.c_str());
    }
    CScopedEnvironment(const CScopedEnvironment&) = delete;
    CScopedEnvironment& operator=(const CScopedEnvironment&) = delete;

private:
    std::string m_strName;
    std::optional<std::string> m_oldValue;
};

} // namespace testsupport
