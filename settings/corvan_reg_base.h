// The registry objects that every routine reading or writing settings holds
// on its stack. Their one effect is that constructing one makes sure the
// maker's per-user data folder (documents folder, Corvan, Orvella) exists.
#pragma once

#include <string>

namespace orvella {

class CCorvanRegBase {
  public:
    // Looks up the documents folder (not created when missing) and ensures
    // the product data folder inside it; a failure is ignored. Nothing is
    // created when the documents folder cannot be found.
    CCorvanRegBase();
    virtual ~CCorvanRegBase() = default;

    const std::wstring& DocumentsFolder() const { return m_documentsFolder; }
    const std::wstring& ProductDataFolder() const { return m_productDataFolder; }

  private:
    std::wstring m_documentsFolder;
    std::wstring m_productDataFolder;
};

class COrvellaForNSTReg : public CCorvanRegBase {
  public:
    ~COrvellaForNSTReg() override = default;
};

}  // namespace orvella
