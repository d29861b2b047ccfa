<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru" sourcelanguage="en">
<context>
    <name>CacheCommand</name>
    <message>
        <source>usage: diarytrawl cache [--user NAME] [--site HOST] [--json]
       diarytrawl cache --forget NAME [--site HOST]
Says what the page cache holds: every journal it has pages of, or with --user one journal&apos;s
years, months and entries and when each was last read; --json prints the same as one JSON
object. --forget removes a journal&apos;s pages (on every site, or on HOST).
Exit status: 0 done, 1 the cache cannot be changed, 64 bad usage.
</source>
        <translation>использование: diarytrawl cache [--user ИМЯ] [--site ХОСТ] [--json]
               diarytrawl cache --forget ИМЯ [--site ХОСТ]
Показывает, что хранит кэш страниц: все журналы, страницы которых в нём есть, или с --user
годы, месяцы и записи одного журнала и когда каждая из них прочитана в последний раз; --json
выводит то же одним объектом JSON. --forget удаляет страницы журнала (на всех сайтах или на ХОСТЕ).
Код возврата: 0 — готово, 1 — кэш нельзя изменить, 64 — неверная командная строка.
</translation>
    </message>
    <message>
        <source>--forget goes with --site alone</source>
        <translation>--forget сочетается только с --site</translation>
    </message>
</context>
<context>
    <name>PageCommand</name>
    <message>
        <source>usage: diarytrawl page URL [--links | --text | --body-html | --html] [--offline]
Loads one address as a search does and prints, as UTF-8, what a search sees of it:
  --links      the address of every link, one a line, in page order (default)
  --text       the text of the page&apos;s body
  --body-html  the HTML of the page&apos;s body
  --html       the HTML of the whole page (head and body)
  --offline    take the page from the page cache only
Exit status: 0 the page was read, 3 it could not be (what the loader shows instead is
printed all the same, and why on standard error), 1 the settings cannot be read, 64 bad
usage.
</source>
        <translation>использование: diarytrawl page АДРЕС [--links | --text | --body-html | --html] [--offline]
Загружает один адрес так же, как поиск, и выводит в UTF-8 то, что поиск в нём видит:
  --links      адрес каждой ссылки, по одному в строке, в порядке на странице (по умолчанию)
  --text       текст тела страницы
  --body-html  HTML тела страницы
  --html       HTML всей страницы (head и body)
  --offline    брать страницу только из кэша страниц
Код возврата: 0 — страница прочитана, 3 — прочитать её не удалось (то, что загрузчик показывает
вместо неё, всё равно выводится, а причина — в стандартный поток ошибок), 1 — не удаётся
прочитать настройки, 64 — неверный вызов.
</translation>
    </message>
    <message>
        <source>Give exactly one address.</source>
        <translation>Укажите ровно один адрес.</translation>
    </message>
    <message>
        <source>Choose one of --links, --text, --body-html and --html.</source>
        <translation>Выберите что-то одно: --links, --text, --body-html или --html.</translation>
    </message>
</context>
<context>
    <name>Program</name>
    <message>
        <source>diarytrawl: unknown command &quot;%1&quot;</source>
        <translation>diarytrawl: неизвестная команда «%1»</translation>
    </message>
    <message>
        <source>Usage: diarytrawl                      open the window
       diarytrawl search [options]     run one search, log on standard output
       diarytrawl page URL [options]   show what a search sees of one page
       diarytrawl cache [options]      show or clear what the page cache holds
       diarytrawl --help | --version
Run a command with --help for its options; see also diarytrawl(1).
</source>
        <translation>Использование: diarytrawl                         открыть окно
               diarytrawl search [параметры]      выполнить поиск, протокол — в стандартный вывод
               diarytrawl page АДРЕС [параметры]  показать, что поиск видит на одной странице
               diarytrawl cache [параметры]       показать или очистить то, что хранит кэш страниц
               diarytrawl --help | --version
Чтобы узнать параметры команды, запустите её с --help; см. также diarytrawl(1).
</translation>
    </message>
</context>
<context>
    <name>SearchCommand</name>
    <message>
        <source>; see &apos;diarytrawl search --help&apos;</source>
        <translation>; см. «diarytrawl search --help»</translation>
    </message>
    <message>
        <source>unexpected argument &quot;%1&quot;</source>
        <translation>лишний аргумент «%1»</translation>
    </message>
    <message>
        <source>--user NAME is required</source>
        <translation>нужен параметр --user ИМЯ</translation>
    </message>
    <message>
        <source>--%1 and --%2 exclude each other</source>
        <translation>--%1 и --%2 исключают друг друга</translation>
    </message>
    <message>
        <source>--year &quot;%1&quot; runs backwards: give the earlier year first</source>
        <translation>--year «%1» идёт в обратном порядке: сначала укажите более ранний год</translation>
    </message>
    <message numerus="yes">
        <source>--year &quot;%1&quot; spans more than %n years</source>
        <translation>
            <numerusform>--year «%1» охватывает больше %n года</numerusform>
            <numerusform>--year «%1» охватывает больше %n лет</numerusform>
            <numerusform>--year «%1» охватывает больше %n лет</numerusform>
        </translation>
    </message>
    <message>
        <source>--year must be a year (2005), a range of years (2003-2012) or all, not &quot;%1&quot;</source>
        <translation>--year: нужен год (2005), диапазон лет (2003-2012) или all, а не «%1»</translation>
    </message>
    <message>
        <source>--%1 must be a month from 1 to 12 with a range of years, not &quot;%2&quot;</source>
        <translation>--%1: с диапазоном лет нужен месяц от 1 до 12, а не «%2»</translation>
    </message>
    <message>
        <source>--%1 must be a whole number from -32768 to 32767, not &quot;%2&quot;</source>
        <translation>--%1: нужно целое число от -32768 до 32767, а не «%2»</translation>
    </message>
    <message>
        <source>--max-age must be an age such as 1d, 12h, 30m, 90s or 0, not &quot;%1&quot;</source>
        <translation>--max-age: нужен срок вида 1d, 12h, 30m, 90s или 0, а не «%1»</translation>
    </message>
    <message>
        <source>--timeout must be a number of seconds above 0, not &quot;%1&quot;</source>
        <translation>--timeout: нужно число секунд больше 0, а не «%1»</translation>
    </message>
    <message>
        <source>--pace must be a number of seconds from 0.2 to 3600, not &quot;%1&quot;</source>
        <translation>--pace: нужно число секунд от 0.2 до 3600, а не «%1»</translation>
    </message>
    <message>
        <source>--contact must be an e-mail or web address, not &quot;%1&quot;</source>
        <translation>--contact: нужен адрес e-mail или веб-адрес, а не «%1»</translation>
    </message>
    <message>
        <source>--site &quot;%1&quot;: %2</source>
        <translation>--site «%1»: %2</translation>
    </message>
    <message>
        <source>cannot read the cookie file &quot;%1&quot;</source>
        <translation>не удаётся прочитать файл куки «%1»</translation>
    </message>
    <message>
        <source>--cookies-from-browser reads Firefox only (&quot;firefox&quot; or &quot;firefox:PROFILE_FOLDER&quot;); Chromium-family browsers encrypt their cookies, so export a cookies.txt and use --cookies</source>
        <translation>--cookies-from-browser читает только Firefox («firefox» или «firefox:ПАПКА_ПРОФИЛЯ»); браузеры семейства Chromium шифруют свои куки, поэтому сохраните cookies.txt и укажите --cookies</translation>
    </message>
    <message>
        <source>the search expression &quot;%1&quot; does not compile: %2</source>
        <translation>выражение поиска «%1» не компилируется: %2</translation>
    </message>
    <message>
        <source>Usage: diarytrawl search --user NAME [options]

Searches one journal&apos;s entries for a string, month by month, as the window&apos;s Search! button
does. The log goes to standard output, the report to the current folder.

What to search:
  --user NAME             the journal&apos;s user name (required)
  --year YEAR             the year to search (default: 2005), a range of years (2003-2012:
                          from --from of the first through --to of the last) or all
  --from MONTH            the first month (default: 03)
  --to MONTH              the last month (default: 03)
  --text STRING           what to look for (default: LJ); letter case is ignored
  --regexp                the string is a regular expression
  --masks                 &apos;*&apos; and &apos;?&apos; in the string mean any characters, any character
  --or-then               the words OR and THEN in the string are operators
  --html-code             search the pages&apos; HTML code too
  --all-comments          search every page and collapsed thread of an entry&apos;s comments, not
                          only the comments its page carries (a request for each)
  --site HOST[:PORT]      the journal site (default: %1)

What to keep:
  --save-pages            store every scanned page in saved.pages.tmp/
  --save-matching         store only the matching pages
  --open                  open the finished report in the desktop&apos;s program for it

Reading the site:
  --adult                 you are 18 or older: answer the sites&apos; adult-content notices
  --cookies FILE          search as yourself, with the login cookies in FILE: a cookies.txt
                          (Netscape format, as browser extensions export it) or a Firefox
                          cookies.sqlite; the file is only read
  --cookies-from-browser firefox[:PROFILE_FOLDER]
                          the login cookies of a Firefox profile (default: the default
                          profile). Chromium-family browsers encrypt their cookies: export a
                          cookies.txt with a browser extension and use --cookies instead
  --contact EMAIL         a contact address the User-Agent names, as the sites ask of bots
                          (default: the Contact value of the settings, if any)
  --timeout SECONDS       a load that receives nothing for this long fails (default: 60)
  --pace SECONDS          at least this long between two requests (at least 0.2; default:
                          what the site asks, 0.2 on LiveJournal, 2 on Dreamwidth or 0.6
                          with login cookies)
  --max-age AGE           an entry read from the network less than AGE ago comes from the page
                          cache without a request (default: 1d; 12h, 30m, 90s; 0 reads all
                          again); month and year pages are always read again
  --cache-limit SIZE      keep at most this much in the page cache, dropping the pages read
                          longest ago (default: 2G; 500M, 64K, a number of bytes; 0 keeps none)
  --offline               read pages only from the page cache
  --online                read the network even when the settings ask for offline mode

Output:
  --json                  one JSON object per line for each step, in place of the log
  --quiet                 only the matches and the summary
  -h, --help              show this help
  -v, --version           show the version

Exit status: 0 every page was read, 1 stopped by the user, 2 the search failed, 3 the search
ended but some pages could not be read, 64 the command line was wrong.
</source>
        <translation>Использование: diarytrawl search --user ИМЯ [параметры]

Ищет строку в записях одного журнала, месяц за месяцем, как кнопка «Найти!» в окне. Протокол
выводится в стандартный вывод, отчёт записывается в текущую папку.

Что искать:
  --user ИМЯ              имя пользователя, чей журнал искать (обязательно)
  --year ГОД              год поиска (по умолчанию 2005), диапазон лет (2003-2012: с месяца --from
                          первого года по месяц --to последнего) или all
  --from МЕСЯЦ            первый месяц (по умолчанию 03)
  --to МЕСЯЦ              последний месяц (по умолчанию 03)
  --text СТРОКА           что искать (по умолчанию LJ); регистр букв не учитывается
  --regexp                строка — регулярное выражение
  --masks                 «*» и «?» в строке означают любые символы и любой символ
  --or-then               слова OR и THEN в строке — операторы
  --html-code             искать и в HTML-коде страниц
  --all-comments          искать во всех страницах комментариев к записи и во всех свёрнутых
                          ветках, а не только в комментариях на её странице (на каждую страницу
                          и ветку — отдельный запрос)
  --site ХОСТ[:ПОРТ]      сайт журналов (по умолчанию %1)

Что сохранять:
  --save-pages            сохранять каждую просмотренную страницу в saved.pages.tmp/
  --save-matching         сохранять только страницы с совпадениями
  --open                  открыть готовый отчёт в программе, которую для него выбрал рабочий стол

Чтение сайта:
  --adult                 вам 18 лет или больше: отвечать на предупреждения сайтов о материалах
                          для взрослых
  --cookies ФАЙЛ          искать от своего имени, с куки входа из ФАЙЛА: cookies.txt (формат
                          Netscape, в котором их сохраняют расширения браузеров) или cookies.sqlite
                          из Firefox; файл только читается
  --cookies-from-browser firefox[:ПАПКА_ПРОФИЛЯ]
                          куки входа из профиля Firefox (по умолчанию — из профиля по умолчанию).
                          Браузеры семейства Chromium шифруют свои куки: сохраните cookies.txt
                          расширением браузера и укажите --cookies
  --contact АДРЕС         адрес для связи (e-mail или веб-адрес) в User-Agent: сайты просят его
                          у ботов (по умолчанию — значение Contact из настроек, если оно есть)
  --timeout СЕКУНДЫ       загрузка, не получившая ничего за столько секунд, не удалась
                          (по умолчанию 60)
  --pace СЕКУНДЫ          пауза между двумя запросами не короче стольких секунд (не меньше 0.2;
                          по умолчанию — сколько просит сайт: 0.2 в LiveJournal, 2 в Dreamwidth,
                          0.6 там же с куки входа)
  --max-age СРОК          запись, прочитанная из сети меньше СРОКА назад, берётся из кэша страниц
                          без запроса (по умолчанию 1d; 12h, 30m, 90s; 0 — читать всё заново);
                          страницы месяцев и лет всегда читаются заново
  --cache-limit РАЗМЕР    хранить в кэше страниц не больше стольких байт, удаляя страницы,
                          прочитанные раньше всех (по умолчанию 2G; 500M, 64K, число байт;
                          0 — не хранить ничего)
  --offline               читать страницы только из кэша страниц
  --online                читать из сети, даже если настройки велят работать автономно

Вывод:
  --json                  по одному объекту JSON в строке на каждый шаг, вместо протокола
  --quiet                 только совпадения и итог
  -h, --help              показать эту справку
  -v, --version           показать версию

Код возврата: 0 — прочитаны все страницы, 1 — поиск остановлен пользователем, 2 — поиск не удался,
3 — поиск завершён, но некоторые страницы прочитать не удалось, 64 — неверная командная строка.
</translation>
    </message>
</context>
<context>
    <name>SiteHost</name>
    <message>
        <source>give the host name alone: the letters a to z, digits, &apos;-&apos; and &apos;.&apos;, then maybe &apos;:&apos; and a port</source>
        <translation>укажите только имя хоста: латинские буквы, цифры, «-» и «.», затем, возможно, «:» и порт</translation>
    </message>
    <message>
        <source>no host name was given</source>
        <translation>имя хоста не указано</translation>
    </message>
    <message>
        <source>the port after &apos;:&apos; must be a number from 1 to 65535</source>
        <translation>порт после «:» должен быть числом от 1 до 65535</translation>
    </message>
    <message>
        <source>a host name has at most 253 characters</source>
        <translation>в имени хоста не больше 253 символов</translation>
    </message>
    <message>
        <source>a host name has no empty part before, between or after its dots</source>
        <translation>в имени хоста не бывает пустых частей до точек, между ними и после них</translation>
    </message>
    <message>
        <source>each dot-separated part of a host name has at most 63 characters</source>
        <translation>в каждой части имени хоста между точками не больше 63 символов</translation>
    </message>
    <message>
        <source>an IPv4 address has four numbers from 0 to 255, without leading zeros</source>
        <translation>адрес IPv4 — это четыре числа от 0 до 255 без ведущих нулей</translation>
    </message>
</context>
<context>
    <name>diarytrawl::Form1</name>
    <message>
        <source>   diarytrawl utility v.%1</source>
        <extracomment>The window&apos;s caption as designed, three blanks first; %1 is the version.</extracomment>
        <translation>   утилита diarytrawl v.%1</translation>
    </message>
    <message>
        <source>Username:</source>
        <extracomment>Above the field for the user name of the journal to search; at most as wide as that field.</extracomment>
        <translation>Журнал:</translation>
    </message>
    <message>
        <source>Year:</source>
        <translation>Год:</translation>
    </message>
    <message>
        <source>Months:</source>
        <translation>Месяцы:</translation>
    </message>
    <message>
        <source>Search string:</source>
        <translation>Строка поиска:</translation>
    </message>
    <message>
        <source>Search!</source>
        <translation>Найти!</translation>
    </message>
    <message>
        <source>no search performed</source>
        <translation>поиск ещё не выполнялся</translation>
    </message>
    <message>
        <source>Cancel Search</source>
        <translation>Прервать поиск</translation>
    </message>
    <message>
        <source>Internet Explorer Settings</source>
        <translation>Настройки Internet Explorer</translation>
    </message>
    <message>
        <source>Turn Graphics Off</source>
        <translation>Отключить графику</translation>
    </message>
    <message>
        <source>Turn Graphics On</source>
        <translation>Включить графику</translation>
    </message>
    <message>
        <source>Set Offline Mode</source>
        <translation>Работать автономно</translation>
    </message>
    <message>
        <source>Set Online Mode</source>
        <translation>Работать в сети</translation>
    </message>
    <message>
        <source>Advanced</source>
        <translation>Дополнительно</translation>
    </message>
    <message>
        <source>SearchString is a Regular Expression</source>
        <translation>Строка поиска — регулярное выражение</translation>
    </message>
    <message>
        <source>&apos;*&apos;, &apos;?&apos; mean &quot;any chars&quot;, &quot;any symbol&quot;</source>
        <translation>«*», «?» означают «любые символы», «любой символ»</translation>
    </message>
    <message>
        <source>Understand &apos;OR&apos; and &apos;THEN&apos;</source>
        <translation>Понимать «OR» и «THEN»</translation>
    </message>
    <message>
        <source>Search in HTML code</source>
        <translation>Искать в HTML-коде</translation>
    </message>
    <message>
        <source>Search all comments</source>
        <translation>Искать во всех комментариях</translation>
    </message>
    <message>
        <source>Other</source>
        <translation>Прочее</translation>
    </message>
    <message>
        <source>Save scanned pages</source>
        <translation>Сохранять просмотренные страницы</translation>
    </message>
    <message>
        <source>Save matching pages only</source>
        <translation>Сохранять только страницы с совпадениями</translation>
    </message>
    <message>
        <source>Show adult content (I am 18 or older)</source>
        <translation>Показывать материалы для взрослых (мне есть 18)</translation>
    </message>
    <message>
        <source>Use login cookies from a file...</source>
        <translation>Использовать куки входа из файла...</translation>
    </message>
    <message>
        <source>Forget login cookies</source>
        <translation>Забыть куки входа</translation>
    </message>
    <message>
        <source>LJ</source>
        <extracomment>The menu of journal sites, named after LiveJournal, the first of them.</extracomment>
        <translation>ЖЖ</translation>
    </message>
    <message>
        <source>Other site...</source>
        <translation>Другой сайт...</translation>
    </message>
    <message>
        <source>Help!</source>
        <translation>Помощь!</translation>
    </message>
    <message>
        <source>Online help page... in Russian :-)</source>
        <translation>Страница помощи в интернете... на русском :-)</translation>
    </message>
    <message>
        <source>The settings could not be read; the Other menu starts with its defaults:</source>
        <translation>Не удалось прочитать настройки; в меню «Прочее» стоят значения по умолчанию:</translation>
    </message>
    <message>
        <source>Use login cookies from a file</source>
        <translation>Куки входа из файла</translation>
    </message>
    <message>
        <source>Cookie files (*.txt *.sqlite);;All files (*)</source>
        <extracomment>File dialog filters: the patterns in brackets and the &quot;;;&quot; between stay.</extracomment>
        <translation>Файлы куки (*.txt *.sqlite);;Все файлы (*)</translation>
    </message>
    <message>
        <source>Other site</source>
        <translation>Другой сайт</translation>
    </message>
    <message>
        <source>The journal site&apos;s host name, HOST or HOST:PORT:</source>
        <translation>Имя хоста сайта журналов, ХОСТ или ХОСТ:ПОРТ:</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a site&apos;s host name: %2.</source>
        <translation>«%1» — не имя хоста сайта: %2.</translation>
    </message>
    <message>
        <source>The help page cannot be shown:</source>
        <translation>Не удаётся показать страницу помощи:</translation>
    </message>
    <message>
        <source>The setting could not be written:</source>
        <translation>Не удалось записать настройку:</translation>
    </message>
    <message>
        <source>Have set registry keys to force Offline Mode.</source>
        <translation>Ключи реестра установлены: включён автономный режим.</translation>
    </message>
    <message>
        <source>(Search locally cached Internet pages.)</source>
        <translation>(Поиск по страницам из локального кэша.)</translation>
    </message>
    <message>
        <source>Have set registry keys to force Online Mode.</source>
        <translation>Ключи реестра установлены: включена работа в сети.</translation>
    </message>
    <message>
        <source>( Search the online Internet pages :-) )</source>
        <translation>( Поиск по страницам в интернете :-) )</translation>
    </message>
    <message>
        <source>Have set IE 5.0 registry keys to turn off graphics.</source>
        <translation>Ключи реестра IE 5.0 установлены: графика отключена.</translation>
    </message>
    <message>
        <source>Have set IE 5.0 registry keys to turn on graphics, video and sounds.</source>
        <translation>Ключи реестра IE 5.0 установлены: графика, видео и звуки включены.</translation>
    </message>
</context>
</TS>
