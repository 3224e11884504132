#pragma once

#include "studio/ParsedResumeSections.h"

#include <string>
#include <vector>

namespace velmora {

// What a resume's plain text says, section by section, as ordinary resumes are written: headings
// in any of the six interface languages, one or more words, on a line of their own or opening a
// "Heading: content" line, with or without Markdown marks; wrapped lines joined back to their
// bullet; decoration lines dropped; one bullet mark ("• ") per bulleted line.
struct ResumeReading {
    ParsedResumeSections sections;
    // The lines before the first heading that are not the opening paragraph: name, headline and
    // contact lines, in order.
    std::vector<std::string> header;
    bool headingFound = false;
};

class ResumeSectionReader {
public:
    // Pure and bounded: one pass over the lines, each line examined a fixed number of times.
    static ResumeReading read(const std::string& text);

    // The section key ("summary", "skills", ...) a normalised heading names, or empty. Headings
    // joined by "and"/"&" in any of the six languages are one heading ("education & training").
    static std::string sectionOf(const std::string& normalizedHeading);
    // Whether a line is a heading; `before` receives the text that ran into it on the same line.
    static bool isHeading(const std::string& line, std::string* before);
    // Lower-cased, Markdown and bullet marks, trailing colon and extra white space removed.
    static std::string normalizeHeading(const std::string& line);
};

} // namespace velmora
