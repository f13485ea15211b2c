#include "settings/corvan_reg_base.h"

#include "platform/file_system.h"
#include "settings/ensure_directory.h"

namespace orvella {

CCorvanRegBase::CCorvanRegBase() : m_documentsFolder(platform::DocumentsFolder()) {
    // Without a documents folder the product folder would land at the top of
    // the file system.
    if (m_documentsFolder.empty())
        return;
    m_productDataFolder = m_documentsFolder;
    m_productDataFolder += platform::kPathSeparator;
    m_productDataFolder += L"Corvan";
    m_productDataFolder += platform::kPathSeparator;
    m_productDataFolder += L"Orvella";
    EnsureDirectory(m_productDataFolder);
}

}  // namespace orvella
