#pragma once

namespace VSTGUI {

// Reference counted like the toolkit's objects: a new object holds one
// reference for its creator; forget() drops one and deletes at zero.
class CBaseObject {
public:
    CBaseObject() = default;
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;

    void remember() { ++nbReference; }
    void forget() {
        if (--nbReference == 0) delete this;
    }
    int getNbReference() const { return nbReference; }

protected:
    virtual ~CBaseObject() = default;

private:
    int nbReference = 1;
};

}  // namespace VSTGUI
