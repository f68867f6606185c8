#include "common/KRawTypeFactory.h"

IRawFileType* KRawTypeFactory::GetType(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= m_Types.size() || !m_Types[static_cast<size_t>(index)])
        return nullptr;
    return m_Types[static_cast<size_t>(index)]();
}
