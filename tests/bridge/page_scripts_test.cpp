// The scripts pages get, byte for byte: hosts and pages rely on their exact
// globals and on the call wrapper's shape.
#include "bridge/page_scripts.h"

#include <gtest/gtest.h>

#include <string>

TEST(PageScripts, TheBridgeIsElevenLinesEachEndedByALineFeed)
{
    const std::string expected = "if (window.kiv_event_queue === undefined) { window.kiv_event_queue = []; }\n"
                                 "window.kiv_send_event = function(obj) {\n"
                                 "    console.log('Sending event: ' + obj);\n"
                                 "    window.kiv_event_queue.push(obj);\n"
                                 "};\n"
                                 "window.kiv_get_events = function() {\n"
                                 "    let q = window.kiv_event_queue;\n"
                                 "    window.kiv_event_queue = [];\n"
                                 "    let json_q = JSON.stringify(q);\n"
                                 "    return json_q;\n"
                                 "};\n";
    EXPECT_EQ(std::string(PageScripts::bridge), expected);
}

TEST(PageScripts, ThePollIsOneLineWithoutALineFeed)
{
    EXPECT_EQ(std::string(PageScripts::poll),
        "if (window.kiv_get_events) { window.kiv_get_events(); } else { JSON.stringify([]); }");
}

TEST(PageScripts, TheCallWrapperPutsTheCodeUnchangedIntoAFunctionBody)
{
    const std::string expected = "{\n"
                                 "  let f = function() {\n"
                                 "    return 6 * 7; // a comment ends the code\n"
                                 "  };\n"
                                 "  try {\n"
                                 "     let obj = { oke: true, result: f(), exn: false };\n"
                                 "     obj;\n"
                                 "  } catch(e) {\n"
                                 "     let obj = { oke: false, result: false, exn: e.message };\n"
                                 "     obj;\n"
                                 "  }\n"
                                 "}";
    EXPECT_EQ(PageScripts::callWrapper(QStringLiteral("return 6 * 7; // a comment ends the code"))
                  .toStdString(),
        expected);
}
