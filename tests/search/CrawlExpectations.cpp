#include "CrawlExpectations.h"

namespace diarytrawl::test {

using namespace Qt::StringLiterals;

const QString WholeLog = uR"--(Scan():
nick: "nick";
year: "2005";
search-string: "LJ";
link: "http://HOST/~nick/2005/";
from month: 03;
to month: 04;
Loading page ... "http://HOST/~nick/2005/03/";
<dots>Page loaded, parsing...
link(1): 'http://HOST/login.bml' -- skipped
link(2): 'http://HOST/create.bml' -- skipped
link(3): 'http://HOST/~nick/friends' -- skipped
link(4): 'http://HOST/doc/tour/' -- skipped
link(5): 'http://HOST/~nick/2005/' -- skipped
link(6): 'http://HOST/~nick/2005/01/' -- skipped
link(7): 'http://HOST/~nick/2005/02/' -- skipped
link(8): 'http://HOST/~nick/2005/04/' -- skipped
link(9): 'http://HOST/~nick/2005/05/' -- skipped
link(10): 'http://HOST/~nick/2005/06/' -- skipped
link(11): 'http://HOST/~nick/2005/07/' -- skipped
link(12): 'http://HOST/~nick/2005/08/' -- skipped
link(13): 'http://HOST/~nick/2005/09/' -- skipped
link(14): 'http://HOST/~nick/2005/10/' -- skipped
link(15): 'http://HOST/~nick/2005/11/' -- skipped
link(16): 'http://HOST/~nick/2005/12/' -- skipped
link(17): 'http://HOST/~nick/2005/03/17/' -- skipped
link(18): 'http://HOST/~nick/2005/03/20/' -- skipped
2005/03/link(19): 'http://HOST/~nick/101.html'
<dots>Ok 
... scanned;
--> link 'http://HOST/~nick/101.html':
    found string 'LJ' (occurrence 1)
2005/03/link(20): 'http://HOST/~nick/101.html?mode=reply'
<dots>Ok 
... scanned;
--> link 'http://HOST/~nick/101.html?mode=reply':
    found string 'LJ' (occurrence 2)
2005/03/link(21): 'http://HOST/~nick/101.html#comments'
<dots>Ok 
... scanned;
--> link 'http://HOST/~nick/101.html#comments':
    found string 'LJ' (occurrence 3)
link(22): 'http://HOST/~nick_pal/102.html' -- skipped
2005/03/link(23): 'http://HOST/~nick/102.html'
<dots>Ok 
... scanned;
2005/03/link(24): 'http://HOST/~nick/102.html?mode=reply'
<dots>Ok 
... scanned;
2005/03/link(25): 'http://HOST/~nick/102.html#comments'
<dots>Ok 
... scanned;
link(26): 'http://HOST/~nick_pal/103.html' -- skipped
link(27): 'http://HOST/site/about.bml' -- skipped
link(28): 'http://HOST/legal/tos.bml' -- skipped
Loading page ... "http://HOST/~nick/2005/04/";
<dots>Page loaded, parsing...
link(29): 'http://HOST/login.bml' -- skipped
link(30): 'http://HOST/create.bml' -- skipped
link(31): 'http://HOST/~nick/friends' -- skipped
link(32): 'http://HOST/doc/tour/' -- skipped
link(33): 'http://HOST/~nick/2005/' -- skipped
link(34): 'http://HOST/~nick/2005/01/' -- skipped
link(35): 'http://HOST/~nick/2005/02/' -- skipped
link(36): 'http://HOST/~nick/2005/03/' -- skipped
link(37): 'http://HOST/~nick/2005/05/' -- skipped
link(38): 'http://HOST/~nick/2005/06/' -- skipped
link(39): 'http://HOST/~nick/2005/07/' -- skipped
link(40): 'http://HOST/~nick/2005/08/' -- skipped
link(41): 'http://HOST/~nick/2005/09/' -- skipped
link(42): 'http://HOST/~nick/2005/10/' -- skipped
link(43): 'http://HOST/~nick/2005/11/' -- skipped
link(44): 'http://HOST/~nick/2005/12/' -- skipped
link(45): 'http://HOST/~nick/2005/04/02/' -- skipped
2005/04/link(46): 'http://HOST/~nick/201.html'
<dots>Ok 
... scanned;
--> link 'http://HOST/~nick/201.html':
    found string 'LJ' (occurrence 4)
2005/04/link(47): 'http://HOST/~nick/201.html?mode=reply'
<dots>Ok 
... scanned;
--> link 'http://HOST/~nick/201.html?mode=reply':
    found string 'LJ' (occurrence 5)
2005/04/link(48): 'http://HOST/~nick/201.html#comments'
<dots>Ok 
... scanned;
--> link 'http://HOST/~nick/201.html#comments':
    found string 'LJ' (occurrence 6)
link(49): 'http://HOST/~nick_pal/202.html' -- skipped
link(50): 'http://HOST/site/about.bml' -- skipped
link(51): 'http://HOST/legal/tos.bml' -- skipped

--------------------
results: 6 links found (see log above);
9 links scanned;
)--"_s;

const QString WholeReport = uR"--(<html>

<head>
<meta http-equiv="Content-Type" content="text/html; charset=windows-1251">
</head>

<body>


nick: "nick"; <br>
year: "2005"; <br>
search-string: "LJ"; <br>
link: "http://HOST/~nick/2005/"; <br>
from month: 03; <br>
to month: 04; <br><br>

scan started at: <i>6 Dec 2026 10:00:00</i>; <br>
---<br>
<a href="http://HOST/~nick/101.html">LJ(1) </a><br>

 &nbsp;&nbsp; <i>@ 2005-03-17</i>:&nbsp;&nbsp;&nbsp;&nbsp; ...  to the <b>LJ</b> meetup.

@ 2005-03-17 12:00:00

Leave  ... <br>
<a href="http://HOST/~nick/101.html?mode=reply">LJ(2) </a><br>

 &nbsp;&nbsp; <i>@ 2005-03-17</i>:&nbsp;&nbsp;&nbsp;&nbsp; ...  to the <b>LJ</b> meetup.

@ 2005-03-17 12:00:00

Leave  ... <br>
<a href="http://HOST/~nick/101.html#comments">LJ(3) </a><br>

 &nbsp;&nbsp; <i>@ 2005-03-17</i>:&nbsp;&nbsp;&nbsp;&nbsp; ...  to the <b>LJ</b> meetup.

@ 2005-03-17 12:00:00

Leave  ... <br>
<a href="http://HOST/~nick/201.html">LJ(4) </a><br>

 &nbsp;&nbsp; <i>@ 2005-04-02</i>:&nbsp;&nbsp;&nbsp;&nbsp; ... Log in
April

Another <b>LJ</b> story

@ 2005-04-02 23:59:00

Leave  ... <br>
<a href="http://HOST/~nick/201.html?mode=reply">LJ(5) </a><br>

 &nbsp;&nbsp; <i>@ 2005-04-02</i>:&nbsp;&nbsp;&nbsp;&nbsp; ... Log in
April

Another <b>LJ</b> story

@ 2005-04-02 23:59:00

Leave  ... <br>
<a href="http://HOST/~nick/201.html#comments">LJ(6) </a><br>

 &nbsp;&nbsp; <i>@ 2005-04-02</i>:&nbsp;&nbsp;&nbsp;&nbsp; ... Log in
April

Another <b>LJ</b> story

@ 2005-04-02 23:59:00

Leave  ... <br>
--- <br>
scan finished at: <i>6 Dec 2026 10:00:00</i>; <br>
<br>summary: 6 links found; <br>
9 links scanned<i> (scan time: 00:00:00)</i>; <br>

<br><br>
<i>This temporary file is located on Your hard disk at </i><br>
&nbsp;&nbsp;&nbsp;&nbsp;"FOLDER/results.tmp.nick.2005.03-04.htm"<br>
<i>it's up to You to remove it.</i><br>
<br>
<Input type ='button' value = 'Open Containing Folder' onclick='window.open("FOLDER/");'><br>

<br>
<i>Этот временный файл лежит у Вас на диске по адресу </i><br>
&nbsp;&nbsp;&nbsp;&nbsp;"FOLDER/results.tmp.nick.2005.03-04.htm"<br>
<i> Он не будет стерт автоматически, так что вопрос, когда его стирать, оставлен целиком на Ваше усмотрение :-) </i><br><br>

</body>

</html>
)--"_s;

} // namespace diarytrawl::test
