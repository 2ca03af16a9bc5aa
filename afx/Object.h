// Root of the framework's class tree. Only a virtual destructor: the
// program uses no run-time class information or serialisation.
#pragma once

class CObject {
public:
    CObject() = default;
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
    virtual ~CObject() = default;
};
