// One bake invocation: the span of the host's MQModifyObject(0, document)
// call. It compacts the document, gathers the current object's faces, runs
// the modal main dialog (where all baking happens), and on leaving releases
// the buffers that belong to the invocation, asks the host to redraw and
// compacts again. The document's geometry is never edited; a dialog not ended
// with OK clears the document's selection.
#pragma once

// Runs one invocation on the plug-in state's document. True when the dialog
// was ended with its OK command. Without a complete host binding (MQInit
// failed or was never called) nothing is done and the result is false.
bool RunInvocation();

// Frees the texel table and the occluder set (their counts become 0), then
// asks the host to redraw its views.
void ReleaseInvocationBuffers();

// Frees what outlives the invocations (the last face records and vertex
// normals) and anything an interrupted invocation left, with no host call:
// for the library's unloading. The pixel image frees its own pixels when it
// is destroyed.
void ReleaseLibraryBuffers();

// Whether every host entry point the plug-in calls is bound.
bool HostBindingUsable();
