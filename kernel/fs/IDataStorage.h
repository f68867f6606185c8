#pragma once
// Anything that writes itself into a scan-result file and reads itself back.
class IStorageManager;

class IDataStorage
{
public:
    virtual ~IDataStorage() = default;
    /// Replaces the object's state by the stored one. Non-zero on success.
    virtual int LoadFrom(IStorageManager* in) = 0;
    /// Writes the whole state. Non-zero on success.
    virtual int SaveTo(IStorageManager* out) = 0;
};
