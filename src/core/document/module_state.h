#pragma once
// The state a module keeps in a document (a composite's cut file, a pair's
// buffers, a DEM table): created by the opener or command that needs it, held
// by the document for its whole life, told when the document closes.

namespace tessarin::document {

class ModuleState {
public:
    virtual ~ModuleState() = default;
    // The document is closing: delete the work files this state recorded.
    virtual void close() {}
};

}  // namespace tessarin::document
