#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

// A small RTF-to-plain-text reader for resumes: groups, control words and symbols, paragraph
// and line breaks, tabs, \'hh bytes in the document's code page (\ansicpg, \mac, \pc, \pca;
// double-byte pages included), \uN with \ucN fallback skipping, \binN data, and the
// destinations that hold no body text (font, colour and style tables, document info,
// pictures, field instructions, any \* destination) skipped.
//
// Memory and time stay linear in the input: any nesting depth is read with one byte of state
// per open group, without recursion, and unbalanced braces are tolerated.
class RtfReader {
public:
    // Throws VelmoraError "The RTF resume could not be read." when the data is not RTF.
    static std::string toPlainText(std::string_view rtf);
};

} // namespace velmora
