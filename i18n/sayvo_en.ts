<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>FloatingIndicatorView</name>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>已复制</source>
        <translation>Copied</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>插入</source>
        <translation>Insert</translation>
    </message>
    <message>
        <source>已插入</source>
        <translation>Inserted</translation>
    </message>
    <message>
        <source>正在识别...</source>
        <translation>Recognising…</translation>
    </message>
    <message>
        <source>马上就好</source>
        <translation>Almost done</translation>
    </message>
    <message>
        <source>识别完成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>可插入或复制文字</source>
        <translation>Insert or copy the text</translation>
    </message>
    <message>
        <source>没有听到说话</source>
        <translation>Nothing heard</translation>
    </message>
    <message>
        <source>按住快捷键再说一次</source>
        <translation>Hold the hotkey and try again</translation>
    </message>
    <message>
        <source>未能完成识别</source>
        <translation>Recognition failed</translation>
    </message>
    <message>
        <source>原因见下方</source>
        <translation>See below for why</translation>
    </message>
    <message>
        <source>已识别的文字仍可插入或复制</source>
        <translation>You can still insert or copy the text</translation>
    </message>
    <message>
        <source>正在聆听...</source>
        <translation>Listening…</translation>
    </message>
    <message>
        <source>松开快捷键或静音自动停止</source>
        <translation>Release the hotkey or pause to stop</translation>
    </message>
    <message>
        <source>识别中</source>
        <translation>Recognising</translation>
    </message>
    <message>
        <source>请开始说话...</source>
        <translation>Start speaking…</translation>
    </message>
</context>
<context>
    <name>MenuBarView</name>
    <message>
        <source>识别引擎</source>
        <translation>Recognition</translation>
    </message>
    <message>
        <source>识别引擎：%1</source>
        <translation>Recognition: %1</translation>
    </message>
    <message>
        <source>保存 API Key</source>
        <translation>Save API key</translation>
    </message>
    <message>
        <source>编辑 API Key</source>
        <translation>Edit API key</translation>
    </message>
    <message>
        <source>快捷键</source>
        <translation>Hotkey</translation>
    </message>
    <message>
        <source>更改快捷键</source>
        <translation>Change hotkey</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>正常</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>缺失</source>
        <translation>Missing</translation>
    </message>
</context>
</TS>
