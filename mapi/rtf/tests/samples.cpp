#include "mapi/rtf/tests/samples.h"

namespace qc::mapi::rtf::testing {

namespace {

// Mail-like HTML as the common mail programs send it.
const char* const kMailHtml =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n"
    "<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
    "charset=utf-8\">\r\n<title>Quarterly numbers</title>\r\n"
    "<style type=\"text/css\">\r\nbody { font-family: Arial; }\r\np.note { color: #333; }\r\n"
    "</style>\r\n</head>\r\n<body bgcolor=\"#ffffff\">\r\n"
    "<p>Hello Anna,</p>\r\n<p>the numbers are <b>up 12%</b> &amp; the <i>outlook</i> is "
    "good.<br>\r\nSee <a href=\"https://example.org/q?a=1&amp;b=2\">the report</a>.</p>\r\n"
    "<blockquote><p>&gt; quoted line</p></blockquote>\r\n"
    "<img src=\"cid:chart@example.org\" alt=\"chart\">\r\n"
    "<table><tr><td>1</td><td>2</td></tr></table>\r\n"
    "<pre>  indented\r\n\tcode {x}\r\n</pre>\r\n</body>\r\n</html>\r\n";

}  // namespace

std::vector<Sample> HtmlSamples() {
  std::vector<Sample> samples = {
      {"empty", ""},
      {"ascii", "<html><body><p>Hello, world.</p></body></html>"},
      {"fragment", "<div>No html or body tags, just a div</div>"},
      {"mail", kMailHtml},
      {"latin1", "<p>Grüße aus Köln, ça va? Señor Müller — 10 € “quoted” ‘single’ …</p>"},
      {"cjk", "<p>日本語のメール。中文邮件。한국어 이메일.</p>"},
      {"emoji", "<p>Party 🎉 time 😀, flags 🇫🇷 and 𝔘𝔫𝔦𝔠𝔬𝔡𝔢</p>"},
      {"braces-backslashes", "<p>C:\\path\\to\\file {not a group} \\par \\'e9 \\u1234?</p>"},
      {"crlf", "<p>line one\r\nline two\r\n</p>\r\n"},
      {"bare-lf", "<p>line one\nline two\n</p>\n"},
      {"bare-cr", "<p>line one\rline two\r</p>\r"},
      {"mixed-breaks", "a\r\n\nb\r\r\nc\n\rd"},
      {"style-script",
       "<html><head><style>\r\np { margin: 0 } /* {braces} */\r\n</style>"
       "<script>if (a < b && c > d) { alert(\"<p>\\n\"); }</script></head>"
       "<body><p>x</p><script type=\"text/javascript\">var s = '</p>';</script></body></html>"},
      {"long-line", "<p>" + std::string(300000, 'x') + "</p>"},
      {"entities", "<p>&amp; &lt; &gt; &quot; &nbsp; &#233; &#x1F600; &copy; &bogus; & alone</p>"},
      {"lt-gt-in-text", "a < b > c <= d 1<2"},
      {"digits-and-spaces", "<b>1</b>  <i> 2 </i>\t3<br>-4"},
      {"c1-and-controls", "<p>\u0080\u0081\u008d\u008f\u0090\u009d\u009f \x01\x02\x1f\x7f</p>"},
      {"comment-and-conditional",
       "<!--[if gte mso 9]><xml><o:OfficeDocumentSettings/></xml><![endif]--><p>x</p>"},
      {"unclosed", "<p>text <b>bold <i>both"},
      {"only-text", "plain words, no markup at all"},
      {"attribute-quotes", "<a title='1 > 0' href=\"x\">link</a><p class=a'b>q</p>"},
  };
  std::string many;
  for (int i = 0; i < 3000; ++i) {
    many += "<p class=MsoNormal><span style='font-size:10.0pt'>Line " + std::to_string(i) +
            " of the report, Jahresübersicht.</span></p>\r\n";
  }
  samples.push_back({"dictionary-wraps", many});
  return samples;
}

std::vector<Sample> TextSamples() {
  std::string many;
  for (int i = 0; i < 2000; ++i) many += "Line " + std::to_string(i) + ", and so on.\r\n";
  return {
      {"empty", ""},
      {"ascii", "Hello,\r\n\r\nthis is plain text.\r\n\r\n-- \r\nAnna\r\n"},
      {"latin1", "Grüße, ça va? Señor — 10 € “quoted”\r\n"},
      {"cjk", "日本語のメール。\r\n中文邮件。\r\n"},
      {"emoji", "Party 🎉 time 😀 𝔘𝔫𝔦𝔠𝔬𝔡𝔢\r\n"},
      {"braces-backslashes", "C:\\path {x} \\par \\'e9 \\u1234?\r\n"},
      {"bare-lf", "one\ntwo\n"},
      {"bare-cr", "one\rtwo\r"},
      {"mixed-breaks", "a\r\n\nb\r\r\nc\n\rd"},
      {"tabs-and-spaces", "\tindented\r\n  two spaces\r\ntrailing  \r\n 1 -2"},
      {"html-looking", "<p>not html</p> &amp; <b>\r\n"},
      {"long-line", std::string(200000, 'y')},
      {"c1-and-controls", "\u0080\u0081\u009d \x01\x1f\x7f\r\n"},
      {"many-lines", many},
  };
}

}  // namespace qc::mapi::rtf::testing
