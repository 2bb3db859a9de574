// How the JPEG reader and writer take libjpeg's errors: nothing is printed, and
// a failure jumps (longjmp) back to the function that called the library, which
// holds no object with a destructor, with the message kept for the exception
// raised after the jump.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace ixv::formats::jpeg {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code;  // the libjpeg message code of the failure, or one of ours
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] inline void jump(j_common_ptr cinfo, int code) {
    auto* error = reinterpret_cast<ErrorManager*>(cinfo->err);
    error->code = code;
    std::longjmp(error->jump, 1);
}

// Keeps libjpeg's message of the current failure and jumps back.
[[noreturn]] inline void failWith(j_common_ptr cinfo) {
    auto* error = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*error->pub.format_message)(cinfo, error->message);
    jump(cinfo, error->pub.msg_code);
}

// Sets up `error` for a session: failures jump, nothing is printed, and
// messages of `level` go to `emit`.
inline jpeg_error_mgr* silentErrors(ErrorManager& error, void (*emit)(j_common_ptr, int)) {
    jpeg_error_mgr* manager = jpeg_std_error(&error.pub);
    error.pub.error_exit = [](j_common_ptr cinfo) { failWith(cinfo); };
    error.pub.output_message = [](j_common_ptr) {};
    error.pub.emit_message = emit;
    return manager;
}

}  // namespace ixv::formats::jpeg
