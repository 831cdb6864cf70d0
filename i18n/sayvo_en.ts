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
