// DecoderMessages: the messages that picture decoders print on standard
// error by themselves (a PNG's colour profile that libpng dislikes, say),
// which a command-line program does not want mixed into its own output. A
// picture that cannot be read still fails with its reason (PictureLoadError).
#pragma once

namespace platform {

// For the rest of the process, decoders keep their messages to themselves.
void SilenceDecoderMessages();

}  // namespace platform
